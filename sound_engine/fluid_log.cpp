#include "sound_engine/fluid_log.h"

#include <fluidsynth.h>

#include <cstring>
#include <mutex>

namespace velmora::posix {

namespace {

thread_local unsigned long outOfMemoryReports = 0;

void PrintError(int level, const char* message, void*) {
  if (std::strstr(message, "Out of memory") != nullptr) ++outOfMemoryReports;
  fluid_default_log_function(level, message, nullptr);
}

void RouteLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level : {FLUID_PANIC, FLUID_ERR}) fluid_set_log_function(level, &PrintError, nullptr);
    for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG})
      fluid_set_log_function(level, nullptr, nullptr);
  });
}

}  // namespace

FluidMemoryWatch::FluidMemoryWatch() : start_((RouteLog(), outOfMemoryReports)) {}

bool FluidMemoryWatch::RanOut() const { return outOfMemoryReports != start_; }

}  // namespace velmora::posix
