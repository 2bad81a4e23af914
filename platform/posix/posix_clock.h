#pragma once
// The monotonic clock of the kernel, and sleeping until a moment of it.

#include "platform/clock.h"

namespace velmora::posix {

class PosixClock final : public platform::Clock {
 public:
  Duration Now() override;
  void SleepUntil(Duration when) override;
};

}  // namespace velmora::posix
