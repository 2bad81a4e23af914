#pragma once
// FluidSynth reports its errors, running out of memory among them, only in its log. Its error-level
// messages go to stderr as the library prints them; warnings and below stay quiet (a machine
// without a sound server warns on every open, and the caller gets an error code for it).

namespace velmora::posix {

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
