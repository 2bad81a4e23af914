#pragma once
// A piece played through FluidSynth's sequencer, driven by the synthesizer's own sample clock. The
// piece's cursor says in which block each event falls; this layer's sequencer client gets one
// timer event for each block that has events and sends that block's events to the synthesizer in
// file order (the sequencer's queue does not keep the order of events sent for the same time), then
// asks for the next one. At the piece's end the pedals are released, as FluidSynth's file player
// does, and nothing more is sent.
// The sound output's thread runs the client; Start and Stop come from one other thread.

#include <fluidsynth/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "sound_engine/midi_piece.h"

namespace velmora::posix {

class SequencerPlayback {
 public:
  // A sequencer on the synthesizer with the piece's client, ready to start; nothing when FluidSynth
  // cannot make it. Make and destroy it while nothing renders the synthesizer.
  // `ended` is called on the output's thread once, when the piece has sent its last event.
  static std::unique_ptr<SequencerPlayback> Create(fluid_synth_t* synth, const MidiPiece& piece,
                                                   std::function<void()> ended = {});
  ~SequencerPlayback();
  SequencerPlayback(const SequencerPlayback&) = delete;
  SequencerPlayback& operator=(const SequencerPlayback&) = delete;

  // The piece starts with the next block the synthesizer renders; a second Start does nothing.
  bool Start();
  // Nothing more of the piece is sent, and every voice stops at the next block.
  void Stop();
  // Every event of the piece has been sent.
  bool Ended() const { return ended_; }

 private:
  SequencerPlayback(fluid_synth_t* synth, const MidiPiece& piece, std::function<void()> ended)
      : synth_(synth), cursor_(piece), onEnded_(std::move(ended)) {}
  static void OnTimer(unsigned int now, fluid_event_t* event, fluid_sequencer_t*, void* data);
  void SendUpTo(std::uint64_t block);
  void Send(const MidiEvent& event);

  fluid_synth_t* synth_;
  fluid_sequencer_t* sequencer_ = nullptr;
  short client_ = -1;
  fluid_event_t* start_ = nullptr;  // sent by Start
  fluid_event_t* next_ = nullptr;   // sent by the client
  MidiPieceCursor cursor_;
  bool hasEvent_ = false;                    // the cursor stands on an event not sent yet
  std::optional<std::uint64_t> firstBlock_;  // the sequencer's block that Start fell in
  bool started_ = false;
  std::function<void()> onEnded_;
  std::atomic<bool> ended_ = false;
};

}  // namespace velmora::posix
