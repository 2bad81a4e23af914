#pragma once
// The synthesizer with its SoundFont, loaded on the first open and kept for the pieces that follow
// (a rich SoundFont takes longer to load than a piece takes to start).

#include <cstdint>
#include <memory>
#include <string>

#include <fluidsynth/types.h>

#include "platform/mci.h"

namespace velmora::posix {

// FluidSynth starts its SoundFont loader library (libinstpatch) with the first synthesizer and
// closes it with the last one; every fresh start registers that library's types again and loses
// ~3 KiB (FluidSynth 2.4 of Debian 13; 2.3 loses nothing). A small synthesizer kept for the life of
// the process keeps the library started once: called before any synthesizer is made. False when
// that synthesizer could not be made.
bool KeepSoundFontLoaderStarted();

// A FluidSynth synthesizer, its settings and the SoundFont loaded into it.
class Synthesizer {
 public:
  // Nothing and the error code when the synthesizer cannot be made (264 when memory ran out) or the
  // SoundFont is missing (266) or cannot be loaded (262).
  static std::unique_ptr<Synthesizer> Load(const std::string& soundFont, platform::MciError& error);
  ~Synthesizer();
  Synthesizer(const Synthesizer&) = delete;
  Synthesizer& operator=(const Synthesizer&) = delete;

  fluid_settings_t* settings() const { return settings_; }
  fluid_synth_t* synth() const { return synth_; }
  const std::string& soundFont() const { return soundFont_; }
  // FluidSynth counts the frames a synthesizer renders in 32 bits (27 hours at 44.1 kHz), and
  // wraps: a synthesizer is replaced long before that (SynthesizerKeeper).
  void CountRendered(std::uint64_t frames) { rendered_ += frames; }
  std::uint64_t rendered() const { return rendered_; }

 private:
  Synthesizer() = default;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::string soundFont_;
  std::uint64_t rendered_ = 0;
};

// Keeps one synthesizer that no device plays on, for the next open.
class SynthesizerKeeper {
 public:
  // The kept synthesizer when it has this SoundFont and is far from its counter's wrap, else a
  // newly loaded one.
  std::unique_ptr<Synthesizer> Take(const std::string& soundFont, platform::MciError& error);
  // Keeps a synthesizer no longer playing, reset, unless one is kept already.
  void GiveBack(std::unique_ptr<Synthesizer> synthesizer);

 private:
  std::unique_ptr<Synthesizer> kept_;
};

}  // namespace velmora::posix
