#pragma once
// One open sequencer device: a MIDI file loaded into a FluidSynth player, a synthesizer with the
// system's General MIDI SoundFont, and a running sound output. Destroying it stops the music and
// frees all of it, its output thread included.
//
// Settings for this layer alone, from the environment:
//   VELMORA_SOUNDFONT     the SoundFont to use instead of the system's General MIDI one
//   VELMORA_AUDIO_DRIVER  one FluidSynth audio driver instead of PulseAudio, then ALSA
//   VELMORA_AUDIO_FILE    the output file when that driver is "file"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <fluidsynth/types.h>

#include "platform/mci.h"

namespace velmora::posix {

class FluidSequencerDevice {
 public:
  // Files above this size are refused rather than read: no MIDI file comes near it.
  static constexpr std::int64_t kMaxFileSize = std::int64_t{16} << 20;

  // Checks and loads the file and starts the sound output (silent until Play). On failure: nothing
  // and the error code.
  static std::unique_ptr<FluidSequencerDevice> Open(const std::string& path,
                                                    platform::MciError& error);
  ~FluidSequencerDevice();
  FluidSequencerDevice(const FluidSequencerDevice&) = delete;
  FluidSequencerDevice& operator=(const FluidSequencerDevice&) = delete;

  // Starts playback and returns at once; the music plays on by itself.
  platform::MciError Play();

 private:
  FluidSequencerDevice() = default;

  std::vector<std::uint8_t> midi_;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_player_t* player_ = nullptr;
  fluid_audio_driver_t* output_ = nullptr;
};

}  // namespace velmora::posix
