#include "platform/posix/posix_clock.h"

#include <cerrno>
#include <ctime>

namespace velmora::posix {

platform::Clock::Duration PosixClock::Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void PosixClock::SleepUntil(Duration when) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when);
  const timespec until{static_cast<time_t>(seconds.count()),
                       static_cast<long>((when - seconds).count())};
  // An absolute deadline: a signal that interrupts the sleep does not stretch it.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace velmora::posix
