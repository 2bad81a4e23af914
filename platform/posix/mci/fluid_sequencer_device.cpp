#include "platform/posix/mci/fluid_sequencer_device.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <span>
#include <vector>

#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/mci/midi_file_loader.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

// 46 ms of sound buffered, the most that still answers Play and Stop at once. FluidSynth's
// PulseAudio output buffers one period, which the server asks for in quarters; each quarter wakes
// two threads, so the longest period costs least. The ALSA output buffers all its periods.
constexpr int kPulseAudioPeriodFrames = 2048;
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

// The normalised file in an anonymous in-memory file that the player opens by name and reads once,
// when it starts, and that is closed as soon as it has: while the piece plays only the player's
// events take memory (a file added from memory stays copied in the player to the end).
class FileReadOnce {
 public:
  ~FileReadOnce() { Close(); }

  // False when the system has no anonymous files or no /proc to name them by.
  bool Create(std::span<const std::uint8_t> bytes) {
    const int fd = memfd_create("velmora-midi", MFD_CLOEXEC);
    if (fd < 0) return false;
    fd_ = fd;
    for (std::size_t written = 0; written < bytes.size();) {
      const ssize_t put = write(fd, bytes.data() + written, bytes.size() - written);
      if (put <= 0) {
        Close();
        return false;
      }
      written += static_cast<std::size_t>(put);
    }
    return access(Path().c_str(), R_OK) == 0;
  }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_.load()); }
  // From the caller's thread or the output's, whichever comes first.
  void Close() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) close(fd);
  }

 private:
  std::atomic<int> fd_{-1};
};

}  // namespace

// Everything an open device holds. Freed in the order the output's thread needs: the output first
// (its thread drives the player and the synthesizer), then the player; the synthesizer goes back
// to the keeper.
struct FluidSequencerDevice::Parts final : Teardown {
  explicit Parts(SynthesizerKeeper& keeper) : keeper(keeper) {}
  ~Parts() override {
    if (output) delete_fluid_audio_driver(output);
    if (player) delete_fluid_player(player);
    file.Close();
    if (synthesizer) keeper.GiveBack(std::move(synthesizer));
  }

  // The player's events reach the synthesizer through here, and no longer once the device is
  // closed: a player still reading its file when closed would otherwise start the piece after.
  static int Forward(void* data, fluid_midi_event_t* event) {
    auto* parts = static_cast<Parts*>(data);
    const std::lock_guard lock(parts->forwarding);
    if (parts->closed) return FLUID_OK;
    return fluid_synth_handle_midi_event(parts->synthesizer->synth(), event);
  }
  // Once this returns, no event reaches the synthesizer any more.
  void Close() {
    const std::lock_guard lock(forwarding);
    closed = true;
  }
  // Called by the player at each new tick, the first time once the file is read.
  static int FileRead(void* data, int) {
    static_cast<Parts*>(data)->file.Close();
    return FLUID_OK;
  }

  SynthesizerKeeper& keeper;
  std::unique_ptr<Synthesizer> synthesizer;
  FileReadOnce file;
  std::mutex forwarding;
  bool closed = false;
  fluid_player_t* player = nullptr;
  fluid_audio_driver_t* output = nullptr;
};

FluidSequencerDevice::FluidSequencerDevice(std::unique_ptr<Parts> parts)
    : parts_(std::move(parts)) {}

std::unique_ptr<FluidSequencerDevice> FluidSequencerDevice::Open(const std::string& path,
                                                                 SynthesizerKeeper& synthesizers,
                                                                 MciError& error,
                                                                 std::int64_t& fileBytes) {
  SilenceLibraryLogs();
  auto midi = LoadMidiFile(path, error, fileBytes);
  if (!midi) return nullptr;

  auto parts = std::make_unique<Parts>(synthesizers);
  parts->synthesizer = synthesizers.Take(ChosenSoundFont(), error);
  if (!parts->synthesizer) return nullptr;
  fluid_synth_t* synth = parts->synthesizer->synth();
  fluid_settings_t* settings = parts->synthesizer->settings();

  parts->player = new_fluid_player(synth);
  if (!parts->player) {
    error = err::kDriver;
    return nullptr;
  }
  fluid_player_set_playback_callback(parts->player, &Parts::Forward, parts.get());
  fluid_player_set_tick_callback(parts->player, &Parts::FileRead, parts.get());
  const int added = parts->file.Create(*midi)
                        ? fluid_player_add(parts->player, parts->file.Path().c_str())
                        : fluid_player_add_mem(parts->player, midi->data(), midi->size());
  midi.reset();
  // Reading and normalising the file left its smaller blocks free on the heap, touched: give
  // those pages back now rather than after the piece.
  malloc_trim(0);
  if (added != FLUID_OK) {
    error = err::kDriver;
    return nullptr;
  }

  fluid_settings_setint(settings, "audio.periods", kPeriods);
  // Realtime scheduling is refused to most users and would only add a failed attempt.
  fluid_settings_setint(settings, "audio.realtime-prio", 0);
  const std::string outputFile = Environment("VELMORA_AUDIO_FILE");
  if (!outputFile.empty()) fluid_settings_setstr(settings, "audio.file.name", outputFile.c_str());
  for (const std::string& driver : AudioDriversToTry()) {
    fluid_settings_setstr(settings, "audio.driver", driver.c_str());
    fluid_settings_setint(settings, "audio.period-size",
                          driver == "pulseaudio" ? kPulseAudioPeriodFrames : kPeriodFrames);
    parts->output = new_fluid_audio_driver(settings, synth);
    if (parts->output) break;
  }
  if (!parts->output) {
    error = err::kNoSoundOutput;
    return nullptr;
  }
  error = platform::kMciOk;
  return std::unique_ptr<FluidSequencerDevice>(new FluidSequencerDevice(std::move(parts)));
}

MciError FluidSequencerDevice::Play() {
  return fluid_player_play(parts_->player) == FLUID_OK ? platform::kMciOk : err::kDriver;
}

FluidSequencerDevice::~FluidSequencerDevice() {
  // Silent at once, whatever the output's thread is busy with. The player is left to run: nothing
  // stops it reading its file, and FluidSynth 2.3's player, stopped before it has read it, reads
  // fields it never set.
  parts_->Close();
  fluid_synth_all_sounds_off(parts_->synthesizer->synth(), -1);
  SynthesizerKeeper& keeper = parts_->keeper;
  keeper.TearDownLater(std::move(parts_));
}

}  // namespace velmora::posix
