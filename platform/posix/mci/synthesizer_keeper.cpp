#include "platform/posix/mci/synthesizer_keeper.h"

#include <dlfcn.h>
#include <fluidsynth.h>
#include <malloc.h>

#include <system_error>

#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {

namespace {

// FluidSynth starts its SoundFont loader library (libinstpatch) with the first synthesizer and
// closes it with the last one; every fresh start registers that library's types again and loses
// ~3 KiB, once per layer with the kept synthesizer (each test makes its own layer). A small
// synthesizer kept for the life of the process keeps the library started once.
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

}  // namespace

std::unique_ptr<Synthesizer> Synthesizer::Load(const std::string& soundFont,
                                               platform::MciError& error) {
  KeepSoundFontLoaderStarted();
  std::unique_ptr<Synthesizer> made(new Synthesizer());
  made->soundFont_ = soundFont;
  made->settings_ = new_fluid_settings();
  if (made->settings_) made->synth_ = new_fluid_synth(made->settings_);
  if (!made->synth_) {
    error = mci_error::kDriver;
    return nullptr;
  }
  // The library loads samples in OpenMP teams whose idle worker threads would outlive the load;
  // a team of one runs on this thread and leaves none behind.
  using SetThreads = void (*)(int);
  if (auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) set(1);
  if (fluid_synth_sfload(made->synth_, soundFont.c_str(), 1) == FLUID_FAILED) {
    error = mci_error::kCannotLoadDriver;
    return nullptr;
  }
  error = platform::kMciOk;
  return made;
}

Synthesizer::~Synthesizer() {
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

SynthesizerKeeper::~SynthesizerKeeper() { WaitForTeardowns(); }

std::unique_ptr<Synthesizer> SynthesizerKeeper::Take(const std::string& soundFont,
                                                     platform::MciError& error) {
  WaitForTeardowns();
  std::unique_ptr<Synthesizer> kept;
  {
    const std::lock_guard lock(mutex_);
    kept = std::move(kept_);
  }
  if (kept && kept->soundFont() == soundFont) {
    error = platform::kMciOk;
    return kept;
  }
  kept.reset();  // another SoundFont was chosen since
  return Synthesizer::Load(soundFont, error);
}

void SynthesizerKeeper::GiveBack(std::unique_ptr<Synthesizer> synthesizer) {
  // Nothing of one piece (programs, controllers, voices, effects) carries into the next.
  fluid_synth_system_reset(synthesizer->synth());
  const std::lock_guard lock(mutex_);
  if (!kept_) kept_ = std::move(synthesizer);
}

void SynthesizerKeeper::TearDownLater(std::unique_ptr<Teardown> teardown) {
  try {
    std::thread thread([teardown = std::move(teardown)]() mutable {
      teardown.reset();
      // The piece's events were many small blocks; hand the pages they leave free to the system.
      malloc_trim(0);
    });
    const std::lock_guard lock(mutex_);
    teardowns_.push_back(std::move(thread));
  } catch (const std::system_error&) {
    // No thread to be had: the teardown went with the refused thread's state, here.
  }
}

void SynthesizerKeeper::WaitForTeardowns() {
  std::vector<std::thread> running;
  {
    const std::lock_guard lock(mutex_);
    running.swap(teardowns_);
  }
  for (std::thread& thread : running) thread.join();
}

}  // namespace velmora::posix
