#pragma once
// One open sequencer device: a MIDI file loaded into a FluidSynth player on the kept synthesizer
// with the system's General MIDI SoundFont, and a running sound output. Destroying it silences the
// music at once; the output's thread, the player and its events are freed on a thread of their own.
//
// Settings for this layer alone, from the environment:
//   VELMORA_SOUNDFONT     the SoundFont to use instead of the system's General MIDI one
//   VELMORA_AUDIO_DRIVER  one FluidSynth audio driver instead of PulseAudio, then ALSA
//   VELMORA_AUDIO_FILE    the output file when that driver is "file"
// and VELMORA_MEMORY_AVAILABLE_MB (see midi_file_loader.h).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci.h"
#include "platform/posix/mci/synthesizer_keeper.h"

namespace velmora::posix {

class FluidSequencerDevice {
 public:
  // Checks and loads the file and starts the sound output (silent until Play). On failure: nothing
  // and the error code. fileBytes is the file's size once known.
  static std::unique_ptr<FluidSequencerDevice> Open(const std::string& path,
                                                    SynthesizerKeeper& synthesizers,
                                                    platform::MciError& error,
                                                    std::int64_t& fileBytes);
  ~FluidSequencerDevice();
  FluidSequencerDevice(const FluidSequencerDevice&) = delete;
  FluidSequencerDevice& operator=(const FluidSequencerDevice&) = delete;

  // Starts playback and returns at once; the music plays on by itself.
  platform::MciError Play();

 private:
  struct Parts;
  explicit FluidSequencerDevice(std::unique_ptr<Parts> parts);

  std::unique_ptr<Parts> parts_;
};

}  // namespace velmora::posix
