#pragma once
// One open sequencer device: a piece on a synthesizer with the General MIDI SoundFont, played
// through FluidSynth's sequencer, and a running sound output. Closing it stops the piece, silences
// every channel and frees the output and the piece at once; the synthesizer goes back to its keeper
// for the next piece.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mci.h"
#include "sound_engine/midi_piece.h"
#include "sound_engine/synthesizer.h"

namespace velmora::posix {

class SequencerPlayback;

// Where the sound goes: the first FluidSynth audio driver of the list that starts, and for the
// "file" driver, the file it writes.
struct SoundOutput {
  std::vector<std::string> drivers{"pulseaudio", "alsa"};
  std::string file;
  // Frames the driver writes at a time; 0: the layer's own choice. For tools that compare periods.
  int periodFrames = 0;
};

class FluidSequencerDevice {
 public:
  // Starts the sound output, silent until Play. On failure: nothing, the error code, and the
  // synthesizer back with the keeper. `ended` is called on the output's thread when the piece,
  // played, ends by itself.
  static std::unique_ptr<FluidSequencerDevice> Open(MidiPiece piece, SynthesizerKeeper& keeper,
                                                    std::unique_ptr<Synthesizer> synthesizer,
                                                    const SoundOutput& output,
                                                    std::function<void()> ended,
                                                    platform::MciError& error);
  ~FluidSequencerDevice();
  FluidSequencerDevice(const FluidSequencerDevice&) = delete;
  FluidSequencerDevice& operator=(const FluidSequencerDevice&) = delete;

  // Starts the piece and returns at once; the music plays on by itself.
  platform::MciError Play();

 private:
  FluidSequencerDevice(MidiPiece piece, SynthesizerKeeper& keeper,
                       std::unique_ptr<Synthesizer> synthesizer);

  MidiPiece piece_;
  SynthesizerKeeper& keeper_;
  std::unique_ptr<Synthesizer> synthesizer_;
  std::unique_ptr<SequencerPlayback> playback_;
  fluid_audio_driver_t* output_ = nullptr;
};

}  // namespace velmora::posix
