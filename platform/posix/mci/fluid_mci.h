#pragma once
// The MCI command-string interface on Linux: sequencer devices played by FluidSynth, each open
// under its alias until it is closed, on the synthesizer this layer keeps between pieces. Used from
// one thread.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/mci.h"
#include "platform/posix/mci/fluid_sequencer_device.h"
#include "platform/posix/mci/synthesizer_keeper.h"

namespace velmora::posix {

class FluidMci final : public platform::Mci {
 public:
  FluidMci();
  ~FluidMci() override = default;

  platform::MciError SendString(const std::string& command) override;
  bool GetErrorString(platform::MciError code, std::span<char> buffer) override;

 private:
  // Outlives the devices: their teardowns hand it their synthesizer.
  SynthesizerKeeper synthesizers_;
  // Aliases are matched without regard to case.
  std::map<std::string, std::unique_ptr<FluidSequencerDevice>> devices_;
  // The size of the last file refused as too large, for the text of that error.
  std::int64_t tooLargeBytes_ = 0;
};

}  // namespace velmora::posix
