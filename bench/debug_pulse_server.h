#pragma once
// A PulseAudio server of the benchmark's own with one null sink, logging at debug level to a file.
// That log is the one place that tells of a playback stream's underruns: the server writes
// "Implicit underrun of 'NAME'" (or "Actual ...") each time a stream's buffer runs dry while the
// sink wants sound, which is a gap the listener hears. FluidSynth's output uses PulseAudio's simple
// API, which hides the client's underflow notice, and no pactl listing counts underruns.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/bench_process.h"

namespace velmora::bench {

class DebugPulseServer {
 public:
  static constexpr const char* kSink = "bench_null";

  // Starts the server in a folder of its own and waits until it answers.
  DebugPulseServer();
  ~DebugPulseServer();
  DebugPulseServer(const DebugPulseServer&) = delete;
  DebugPulseServer& operator=(const DebugPulseServer&) = delete;

  bool Started() const { return started_; }
  // For PULSE_SERVER.
  const std::string& Address() const { return address_; }

  // The log's length now, to count from.
  std::uintmax_t LogMark() const;
  // Underruns of playback streams logged between two marks.
  int UnderrunsBetween(std::uintmax_t from, std::uintmax_t to) const;
  // The buffer the last stream created after `from` asked for, in ms ("Requested tlength=").
  double RequestedBufferMs(std::uintmax_t from) const;

 private:
  std::string LogBetween(std::uintmax_t from, std::uintmax_t to) const;

  std::filesystem::path folder_;
  std::filesystem::path log_;
  std::string address_;
  std::unique_ptr<Child> server_;
  bool started_ = false;
};

}  // namespace velmora::bench
