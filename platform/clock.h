#pragma once
// The passing of time, for the one thing the program paces: the closing slide.

#include <chrono>

namespace velmora::platform {

class Clock {
 public:
  using Duration = std::chrono::nanoseconds;
  virtual ~Clock() = default;
  // Time since a fixed moment of the platform's choosing; never goes backwards.
  virtual Duration Now() = 0;
  // Returns once Now() has reached `when`: at once when it already has.
  virtual void SleepUntil(Duration when) = 0;
};

}  // namespace velmora::platform
