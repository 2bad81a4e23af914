#pragma once
// A piece rendered by the synthesizer block by block, for whichever output pulls the sound. Each
// block of 64 frames first gets the piece's events that fall in it, as FluidSynth's file player
// would send them, then is rendered. A block sends at most kEventsPerBlock events: the rest of a
// dense tick (a chord of 200,000 notes) goes into the blocks that follow, so one render call's work
// is bounded and Stop, checked between two events, never waits for a tick.
//
// States: open (nothing rendered), playing, dying away (the last track ended: held notes
// released, pedals up, tails and effects rendered until a tenth of a second is silent) and
// resting (nothing rendered until the player is closed), or stopped.
// Render runs on the output's thread; Start, RequestStop and the state from the player's thread.

#include <fluidsynth/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "sound_engine/midi_piece.h"

namespace velmora::posix {

class PieceRenderer {
 public:
  enum class State { kOpen, kPlaying, kDyingAway, kResting, kStopped };
  static constexpr int kEventsPerBlock = 512;

  // `ended` runs on the output's thread, once, when a played piece comes to rest by itself.
  PieceRenderer(fluid_synth_t* synth, const MidiPiece& piece, std::function<void()> ended);

  // Renders up to `frames` frames (whole blocks) of interleaved stereo into `out`; the frames
  // rendered, 0 once the piece rests, is stopped or has not started.
  std::size_t Render(float* out, std::size_t frames) noexcept;
  // The piece starts with the next block rendered; false when it has already started.
  bool Start();
  // The render under way returns before its next event or block; none renders after it.
  void RequestStop() { state_ = State::kStopped; }
  State state() const { return state_; }
  // Frames this renderer has had the synthesizer render.
  std::uint64_t framesRendered() const { return block_ * kFramesPerBlock; }

 private:
  void SendDueEvents() noexcept;
  void Send(const MidiEvent& event) noexcept;
  void ReleaseHeldNotes() noexcept;
  void CountSilence(const float* block) noexcept;

  fluid_synth_t* synth_;
  MidiPieceCursor cursor_;
  std::function<void()> ended_;
  std::atomic<State> state_ = State::kOpen;
  bool hasEvent_ = false;    // the cursor stands on an event not sent yet
  std::uint64_t block_ = 0;  // blocks rendered since Start
  bool released_ = false;    // the held notes, once dying away
  int quietBlocks_ = 0, dyingBlocks_ = 0;
};

}  // namespace velmora::posix
