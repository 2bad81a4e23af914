#pragma once
// FluidSynth reports its errors, running out of memory among them, only in its log, which is the
// process's: the program routes it once, in main (RouteFluidSynthLog). Then its error-level
// messages go to stderr as the library prints them, counted for the watch below, and warnings and
// below stay quiet (a machine without a sound server warns on every open, and the caller gets an
// error code for it). Without the routing, the engine takes a failed allocation for a failure of
// another kind.

namespace velmora::posix {

// Call once, before the first synthesizer is made.
void RouteFluidSynthLog();

// Watches the FluidSynth calls made on this thread while it lives.
class FluidMemoryWatch {
 public:
  FluidMemoryWatch();
  // A FluidSynth call on this thread failed to allocate memory since the watch began.
  bool RanOut() const;

 private:
  unsigned long start_;
};

}  // namespace velmora::posix
