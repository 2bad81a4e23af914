#include "platform/win32/win32_clock.h"
#include "platform/win32/windows_api.h"

namespace velmora::win32 {

platform::Clock::Duration Win32Clock::Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const auto seconds = count.QuadPart / frequency.QuadPart;
  const auto rest = count.QuadPart % frequency.QuadPart;
  return std::chrono::seconds(seconds) +
         std::chrono::nanoseconds(rest * 1'000'000'000 / frequency.QuadPart);
}

void Win32Clock::SleepUntil(Duration when) {
  // Sleep's default tick is 15.6 ms, longer than a whole pass of the closing slide.
  timeBeginPeriod(1);
  for (Duration now = Now(); now < when; now = Now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now);
    Sleep(static_cast<DWORD>(left.count()));
  }
  timeEndPeriod(1);
}

}  // namespace velmora::win32
