#include "platform/posix/mci/fluid_sequencer_device.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

// 2 x 1024 frames at 44.1 kHz: 46 ms of latency, written in 43 blocks a second rather than the
// library's default of 689 small ones.
constexpr int kPeriodFrames = 1024;
constexpr int kPeriods = 2;

constexpr const char* kRichSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// FluidSynth and ALSA print every failure on stderr, such as a machine without a sound card when
// the sound server is missing too; here each failure becomes an error code instead.
void SilenceLibraryLogs() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
    snd_lib_error_set_handler(&IgnoreAlsaMessage);
  });
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool IsPlayableKind(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_size <= FluidSequencerDevice::kMaxFileSize;
}

// Reads a regular file of sane size. A FIFO, a device or a folder is refused before it is opened,
// and the open itself cannot block, so a strange file never freezes the caller.
MciError ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return err::kFileNotFound;
  if (!IsPlayableKind(info)) return err::kInvalidFile;

  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return errno == ENOENT ? err::kFileNotFound : err::kFileRead;
  // The name may have been pointed elsewhere between the two looks.
  if (fstat(file.get(), &info) != 0 || !IsPlayableKind(info)) return err::kInvalidFile;

  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return err::kFileRead;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > static_cast<std::size_t>(FluidSequencerDevice::kMaxFileSize))
    return err::kInvalidFile;
  bytes.resize(filled);
  return platform::kMciOk;
}

// FluidSynth starts its SoundFont loader library (libinstpatch) with each synthesizer and closes it
// with the last one; every fresh start registers that library's types again and loses ~3 KiB. A
// small synthesizer kept for the life of the process keeps the library started once.
struct LoaderKeeper {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
};

const LoaderKeeper& KeepSoundFontLoaderStarted() {
  static const LoaderKeeper keeper = [] {
    LoaderKeeper started;
    started.settings = new_fluid_settings();
    if (!started.settings) return started;
    fluid_settings_setint(started.settings, "synth.polyphony", 1);
    fluid_settings_setint(started.settings, "synth.reverb.active", 0);
    fluid_settings_setint(started.settings, "synth.chorus.active", 0);
    started.synth = new_fluid_synth(started.settings);
    return started;
  }();
  return keeper;
}

std::string ChosenSoundFont() {
  std::string chosen = Environment("VELMORA_SOUNDFONT");
  if (!chosen.empty()) return chosen;
  return access(kRichSoundFont, R_OK) == 0 ? kRichSoundFont : kDefaultSoundFont;
}

std::vector<std::string> AudioDriversToTry() {
  const std::string chosen = Environment("VELMORA_AUDIO_DRIVER");
  if (!chosen.empty()) return {chosen};
  return {"pulseaudio", "alsa"};
}

}  // namespace

std::unique_ptr<FluidSequencerDevice> FluidSequencerDevice::Open(const std::string& path,
                                                                 MciError& error) {
  SilenceLibraryLogs();
  std::vector<std::uint8_t> file;
  error = ReadWholeFile(path, file);
  if (error != platform::kMciOk) return nullptr;
  auto midi = NormalizeStandardMidiFile(file);
  if (!midi) {
    error = err::kInvalidFile;
    return nullptr;
  }

  KeepSoundFontLoaderStarted();
  std::unique_ptr<FluidSequencerDevice> device(new FluidSequencerDevice());
  device->midi_ = std::move(*midi);
  device->settings_ = new_fluid_settings();
  if (!device->settings_) {
    error = err::kDriver;
    return nullptr;
  }
  fluid_settings_setint(device->settings_, "audio.period-size", kPeriodFrames);
  fluid_settings_setint(device->settings_, "audio.periods", kPeriods);
  // Realtime scheduling is refused to most users and would only add a failed attempt.
  fluid_settings_setint(device->settings_, "audio.realtime-prio", 0);
  const std::string outputFile = Environment("VELMORA_AUDIO_FILE");
  if (!outputFile.empty())
    fluid_settings_setstr(device->settings_, "audio.file.name", outputFile.c_str());

  device->synth_ = new_fluid_synth(device->settings_);
  if (!device->synth_) {
    error = err::kDriver;
    return nullptr;
  }
  // The library loads samples in OpenMP teams whose idle worker threads would outlive the device;
  // a team of one runs on this thread and leaves none behind.
  using SetThreads = void (*)(int);
  if (auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) set(1);
  if (fluid_synth_sfload(device->synth_, ChosenSoundFont().c_str(), 1) == FLUID_FAILED) {
    error = err::kCannotLoadDriver;
    return nullptr;
  }
  device->player_ = new_fluid_player(device->synth_);
  if (!device->player_ || fluid_player_add_mem(device->player_, device->midi_.data(),
                                               device->midi_.size()) != FLUID_OK) {
    error = err::kDriver;
    return nullptr;
  }

  for (const std::string& driver : AudioDriversToTry()) {
    fluid_settings_setstr(device->settings_, "audio.driver", driver.c_str());
    device->output_ = new_fluid_audio_driver(device->settings_, device->synth_);
    if (device->output_) break;
  }
  if (!device->output_) {
    error = err::kNoSoundOutput;
    return nullptr;
  }
  error = platform::kMciOk;
  return device;
}

MciError FluidSequencerDevice::Play() {
  return fluid_player_play(player_) == FLUID_OK ? platform::kMciOk : err::kDriver;
}

FluidSequencerDevice::~FluidSequencerDevice() {
  if (player_) fluid_player_stop(player_);
  // Cut every voice now, so the blocks the output still writes before it stops are silent.
  if (synth_) fluid_synth_all_sounds_off(synth_, -1);
  // The output goes first: its thread is the one that drives the player and the synthesizer.
  if (output_) delete_fluid_audio_driver(output_);
  if (player_) delete_fluid_player(player_);
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

}  // namespace velmora::posix
