#pragma once
// The program's MCI on Linux: the sound engine's command layer (sound_engine/) as platform::Mci,
// and the engine's notice that a piece has ended by itself.

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/mci.h"
#include "sound_engine/fluid_mci.h"

namespace velmora::posix {

class EngineMci final : public platform::Mci {
 public:
  explicit EngineMci(FluidMciOptions options = {}) : layer_(std::move(options)) {}

  platform::MciError SendString(const std::string& command) override {
    return layer_.SendString(command);
  }
  bool GetErrorString(platform::MciError code, std::span<char> buffer) override {
    return layer_.GetErrorString(code, buffer);
  }
  // `handler` runs on an engine thread (never the GTK thread), once each time a piece that is
  // playing ends by itself: not after its close or Stop. Set it before the first open.
  void SetPieceEndedHandler(std::function<void()> handler) {
    layer_.SetPieceEndedHandler(std::move(handler));
  }

 private:
  FluidMci layer_;
};

}  // namespace velmora::posix
