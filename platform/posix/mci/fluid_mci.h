#pragma once
// The MCI command-string interface on Linux: sequencer devices played by FluidSynth, each open
// under its alias until it is closed. Used from one thread.

#include <map>
#include <memory>
#include <string>

#include "platform/mci.h"
#include "platform/posix/mci/fluid_sequencer_device.h"

namespace velmora::posix {

class FluidMci final : public platform::Mci {
 public:
  FluidMci() = default;
  ~FluidMci() override = default;

  platform::MciError SendString(const std::string& command) override;
  bool GetErrorString(platform::MciError code, std::span<char> buffer) override;

 private:
  // Aliases are matched without regard to case.
  std::map<std::string, std::unique_ptr<FluidSequencerDevice>> devices_;
};

}  // namespace velmora::posix
