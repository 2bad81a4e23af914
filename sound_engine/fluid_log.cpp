#include "sound_engine/fluid_log.h"

#include <fluidsynth.h>

#include <cstring>
#include <initializer_list>

namespace velmora::posix {

namespace {

thread_local unsigned long outOfMemoryReports = 0;

void PrintError(int level, const char* message, void*) {
  if (std::strstr(message, "Out of memory") != nullptr) ++outOfMemoryReports;
  fluid_default_log_function(level, message, nullptr);
}

}  // namespace

void RouteFluidSynthLog() {
  for (int level : {FLUID_PANIC, FLUID_ERR}) fluid_set_log_function(level, &PrintError, nullptr);
  for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG})
    fluid_set_log_function(level, nullptr, nullptr);
}

FluidMemoryWatch::FluidMemoryWatch() : start_(outOfMemoryReports) {}

bool FluidMemoryWatch::RanOut() const { return outOfMemoryReports != start_; }

}  // namespace velmora::posix
