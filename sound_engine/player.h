#pragma once
// One open piece and everything that plays it: the synthesizer (with its SoundFont), the piece's
// renderer, which sends its events, and the sound output, a stream of the engine's own.
//
//   open ──Play──▶ playing ──last track ends──▶ ended (held notes released, tails die away, then
//     │               │                            the output rests: nothing runs)
//     └───────────────┴──────────── Close (the destructor) ───────────▶ closed
//
// Closing is the one way out of every state: the output stops at once (what the server holds is
// dropped), every voice is cut, the output and the piece are freed, and the synthesizer goes back
// to its keeper for the next piece.

#include <functional>
#include <memory>

#include "platform/mci.h"
#include "sound_engine/audio_stream.h"
#include "sound_engine/midi_piece.h"
#include "sound_engine/piece_renderer.h"
#include "sound_engine/synthesizer.h"

namespace velmora::posix {

class Player {
 public:
  // Starts the sound output, silent until Play. On failure: nothing, the error code, and the
  // synthesizer back with the keeper. `ended` runs on the output's thread when the piece, played,
  // has come to rest by itself.
  static std::unique_ptr<Player> Open(MidiPiece piece, SynthesizerKeeper& keeper,
                                      std::unique_ptr<Synthesizer> synthesizer,
                                      const SoundOutput& output, SoundServerConnection& server,
                                      std::function<void()> ended, platform::MciError& error);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Starts the piece and returns at once; it plays on by itself. Again while it plays or after
  // its end: nothing (343 when the output has gone away meanwhile and cannot be reached).
  platform::MciError Play();

 private:
  Player(MidiPiece piece, SynthesizerKeeper& keeper, std::unique_ptr<Synthesizer> synthesizer,
         std::function<void()> ended);

  MidiPiece piece_;
  SynthesizerKeeper& keeper_;
  std::unique_ptr<Synthesizer> synthesizer_;
  PieceRenderer renderer_;
  std::unique_ptr<AudioStream> output_;
};

}  // namespace velmora::posix
