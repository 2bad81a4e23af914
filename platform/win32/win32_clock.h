#pragma once
// The performance counter, and sleeping until a moment of it at the timer's finest resolution.

#include "platform/clock.h"

namespace velmora::win32 {

class Win32Clock : public platform::Clock {
 public:
  Duration Now() override;
  void SleepUntil(Duration when) override;
};

}  // namespace velmora::win32
