#include "sound_engine/fluid_sequencer_device.h"

#include <fluidsynth.h>

#include <array>

#include "sound_engine/fluid_log.h"
#include "sound_engine/mci_errors.h"
#include "sound_engine/sequencer_playback.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

// FluidSynth's PulseAudio output asks the server for a buffer of one period and writes one period
// at a time: the server runs dry (an underrun, heard as a crackle) when the output's thread waits
// longer than about a period for a core, and closing the output waits for the write under way.
// With 3 busy processes on 2 cores, 10 s of the demo tune underran 2-36 times at 256 frames, up
// to twice at 384 and 512 frames, and never at 768 in 23 runs. 768 frames (17.4 ms) is the
// smallest period that never underran; Stop then takes up to 18 ms instead of 7-10 ms, which no
// one hears as a delay, where a crackle is heard (bench/README.md).
constexpr int kPulseAudioPeriodFrames = 768;
constexpr int kPeriodFrames = 256;
constexpr int kPeriods = 2;

}  // namespace

FluidSequencerDevice::FluidSequencerDevice(MidiPiece piece, SynthesizerKeeper& keeper,
                                           std::unique_ptr<Synthesizer> synthesizer)
    : piece_(std::move(piece)), keeper_(keeper), synthesizer_(std::move(synthesizer)) {}

std::unique_ptr<FluidSequencerDevice> FluidSequencerDevice::Open(
    MidiPiece piece, SynthesizerKeeper& keeper, std::unique_ptr<Synthesizer> synthesizer,
    const SoundOutput& output, std::function<void()> ended, MciError& error) {
  const FluidMemoryWatch memory;
  std::unique_ptr<FluidSequencerDevice> device(
      new FluidSequencerDevice(std::move(piece), keeper, std::move(synthesizer)));
  fluid_synth_t* synth = device->synthesizer_->synth();
  fluid_settings_t* settings = device->synthesizer_->settings();
  device->playback_ = SequencerPlayback::Create(synth, device->piece_, std::move(ended));
  if (!device->playback_) {
    error = memory.RanOut() ? err::kOutOfMemory : err::kDriver;
    return nullptr;
  }
  fluid_settings_setint(settings, "audio.periods", kPeriods);
  // Realtime scheduling is refused to most users and would only add a failed attempt.
  fluid_settings_setint(settings, "audio.realtime-prio", 0);
  if (!output.file.empty()) fluid_settings_setstr(settings, "audio.file.name", output.file.c_str());
  for (const std::string& driver : output.drivers) {
    fluid_settings_setstr(settings, "audio.driver", driver.c_str());
    const int ownPeriod = driver == "pulseaudio" ? kPulseAudioPeriodFrames : kPeriodFrames;
    fluid_settings_setint(settings, "audio.period-size",
                          output.periodFrames > 0 ? output.periodFrames : ownPeriod);
    device->output_ = new_fluid_audio_driver(settings, synth);
    if (device->output_) break;
  }
  if (!device->output_) {
    error = memory.RanOut() ? err::kOutOfMemory : err::kNoSoundOutput;
    return nullptr;
  }
  error = platform::kMciOk;
  return device;
}

MciError FluidSequencerDevice::Play() {
  return playback_->Start() ? platform::kMciOk : err::kDriver;
}

FluidSequencerDevice::~FluidSequencerDevice() {
  if (playback_) playback_->Stop();
  // The output's thread finishes the period it is writing; nothing plays after it.
  if (output_) delete_fluid_audio_driver(output_);
  // One block rendered here lets the synthesizer free the voices just stopped; the reset that
  // follows (reverb and chorus included) then finds none still sounding.
  std::array<float, std::size_t{2} * kFramesPerBlock> block{};
  fluid_synth_write_float(synthesizer_->synth(), kFramesPerBlock, block.data(), 0, 2, block.data(),
                          1, 2);
  playback_.reset();
  keeper_.GiveBack(std::move(synthesizer_));
}

}  // namespace velmora::posix
