#pragma once
// The synthesizer with its SoundFont, loaded on the first open and kept for the pieces that follow
// (a rich SoundFont takes longer to load than a piece takes to start), and the teardowns of closed
// devices, each finished on a thread of its own so that close returns at once.

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fluidsynth/types.h>

#include "platform/mci.h"

namespace velmora::posix {

// A FluidSynth synthesizer, its settings and the SoundFont loaded into it.
class Synthesizer {
 public:
  // Nothing and the error code when the synthesizer cannot be made or the SoundFont not loaded.
  static std::unique_ptr<Synthesizer> Load(const std::string& soundFont, platform::MciError& error);
  ~Synthesizer();
  Synthesizer(const Synthesizer&) = delete;
  Synthesizer& operator=(const Synthesizer&) = delete;

  fluid_settings_t* settings() const { return settings_; }
  fluid_synth_t* synth() const { return synth_; }
  const std::string& soundFont() const { return soundFont_; }

 private:
  Synthesizer() = default;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::string soundFont_;
};

// What a closed device still holds and takes long to free: a player still reading a big file, a
// sound output waiting for its thread. Its destructor frees it all.
class Teardown {
 public:
  virtual ~Teardown() = default;
};

class SynthesizerKeeper {
 public:
  SynthesizerKeeper() = default;
  // Waits for the teardowns still running.
  ~SynthesizerKeeper();
  SynthesizerKeeper(const SynthesizerKeeper&) = delete;
  SynthesizerKeeper& operator=(const SynthesizerKeeper&) = delete;

  // A synthesizer with this SoundFont: the kept one when it is free (after any teardown still
  // running has handed it back), else a newly loaded one.
  std::unique_ptr<Synthesizer> Take(const std::string& soundFont, platform::MciError& error);

  // Resets a synthesizer no longer playing and keeps it for the next piece, unless one is kept
  // already.
  void GiveBack(std::unique_ptr<Synthesizer> synthesizer);

  // Frees what a closed device holds on a thread of its own, then gives the freed memory back to
  // the system.
  void TearDownLater(std::unique_ptr<Teardown> teardown);

 private:
  void WaitForTeardowns();

  std::mutex mutex_;
  std::unique_ptr<Synthesizer> kept_;
  std::vector<std::thread> teardowns_;
};

}  // namespace velmora::posix
