#include "sound_engine/synthesizer.h"

#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "sound_engine/fluid_log.h"
#include "sound_engine/mci_errors.h"
#include "sound_engine/midi_piece.h"

namespace velmora::posix {

namespace {

// Voices the synthesizer may sound at once: twice FluidSynth's default of 256 (what its command
// line plays with), so a dense passage keeps its notes rather than losing the oldest, and a stop
// among that many has room to free them all. The 75 real-world files of bench/real_world_midi.sh
// sound the same either way.
constexpr int kPolyphony = 512;

// Half of the synthesizer's 32-bit frame counter: 13.5 hours of rendering.
constexpr std::uint64_t kMostFramesRendered = std::uint64_t{1} << 31;

// FluidSynth's reset stops every voice but leaves what the reverb and chorus hold: a piece
// stopped among many voices rings on in them for up to half a second, faintly (-53 dBFS with 256
// voices, -35 with 512), and would be heard at the start of the next piece. Rendered here, without
// an output, until it has died away: a tenth of a second of silence in a row, 2 s at most (some
// 3 ms of work).
void LetTheEffectsDieAway(Synthesizer& synthesizer) {
  fluid_synth_t* synth = synthesizer.synth();
  constexpr int kQuietBlocksInARow = 4410 / kFramesPerBlock, kMostBlocks = 88200 / kFramesPerBlock;
  std::array<float, std::size_t{2} * kFramesPerBlock> block{};
  for (int quiet = 0, rendered = 0; quiet < kQuietBlocksInARow && rendered < kMostBlocks;
       ++rendered) {
    fluid_synth_write_float(synth, kFramesPerBlock, block.data(), 0, 2, block.data(), 1, 2);
    const bool silent = std::all_of(block.begin(), block.end(),
                                    [](float sample) { return std::fabs(sample) < 1.0f / 32768; });
    quiet = silent ? quiet + 1 : 0;
    synthesizer.CountRendered(kFramesPerBlock);
  }
}

}  // namespace

bool KeepSoundFontLoaderStarted() {
  // A synthesizer no piece plays on; it holds its settings, so both stay reachable from here.
  static fluid_synth_t* const kept = [] {
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) return static_cast<fluid_synth_t*>(nullptr);
    fluid_settings_setint(settings, "synth.polyphony", 1);
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth) delete_fluid_settings(settings);
    return synth;
  }();
  return kept != nullptr;
}

std::unique_ptr<Synthesizer> Synthesizer::Load(const std::string& soundFont,
                                               platform::MciError& error) {
  const FluidMemoryWatch memory;
  KeepSoundFontLoaderStarted();
  std::unique_ptr<Synthesizer> made(new Synthesizer());
  made->soundFont_ = soundFont;
  made->settings_ = new_fluid_settings();
  if (made->settings_) {
    fluid_settings_setnum(made->settings_, "synth.sample-rate", kSampleRate);
    fluid_settings_setint(made->settings_, "synth.polyphony", kPolyphony);
    made->synth_ = new_fluid_synth(made->settings_);
  }
  if (!made->synth_) {
    error = memory.RanOut() ? mci_error::kOutOfMemory : mci_error::kDriver;
    return nullptr;
  }
  if (access(soundFont.c_str(), R_OK) != 0) {
    error = mci_error::kNoSoundFont;
    return nullptr;
  }
  // A FIFO would block FluidSynth's read for good, and a folder is no SoundFont.
  struct stat info = {};
  if (stat(soundFont.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = mci_error::kSoundFontDamaged;
    return nullptr;
  }
  if (fluid_synth_sfload(made->synth_, soundFont.c_str(), 1) == FLUID_FAILED) {
    error = memory.RanOut() ? mci_error::kOutOfMemory : mci_error::kSoundFontDamaged;
    return nullptr;
  }
  error = platform::kMciOk;
  return made;
}

Synthesizer::~Synthesizer() {
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

std::unique_ptr<Synthesizer> SynthesizerKeeper::Take(const std::string& soundFont,
                                                     platform::MciError& error) {
  std::unique_ptr<Synthesizer> kept = std::move(kept_);
  if (kept && kept->soundFont() == soundFont && kept->rendered() < kMostFramesRendered) {
    LetTheEffectsDieAway(*kept);
    error = platform::kMciOk;
    return kept;
  }
  kept.reset();  // another SoundFont was chosen since, or it has rendered for hours
  return Synthesizer::Load(soundFont, error);
}

void SynthesizerKeeper::GiveBack(std::unique_ptr<Synthesizer> synthesizer) {
  // Nothing of one piece (programs, controllers, voices, effects) carries into the next.
  fluid_synth_system_reset(synthesizer->synth());
  if (!kept_) kept_ = std::move(synthesizer);
}

}  // namespace velmora::posix
