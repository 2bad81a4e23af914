#pragma once
// Listens to a PulseAudio sink through its monitor source (parec) and keeps, for every block of
// sound as it arrives, the time it arrived and its loudest sample, so a test or a benchmark can
// ask when sound started and when it stopped.

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmora::testing {

class SinkMonitor {
 public:
  using Clock = std::chrono::steady_clock;
  // Peaks at or below this count as silence (16-bit samples; dither and rounding stay under it).
  static constexpr int kSilence = 64;

  // Starts recording the sink's monitor; false from Started() when parec could not run.
  explicit SinkMonitor(const std::string& sink);
  ~SinkMonitor();
  SinkMonitor(const SinkMonitor&) = delete;
  SinkMonitor& operator=(const SinkMonitor&) = delete;

  bool Started() const { return pid_ > 0; }
  // Waits until the recording delivers its first block (the monitor is live).
  bool WaitUntilLive(Clock::duration timeout);

  // The first block louder than silence that arrived at or after `from`.
  std::optional<Clock::time_point> FirstSoundAfter(Clock::time_point from) const;
  // The last block louder than silence, if any.
  std::optional<Clock::time_point> LastSound() const;
  // The loudest sample of the blocks that arrived in [from, to).
  int PeakBetween(Clock::time_point from, Clock::time_point to) const;

 private:
  struct Block {
    Clock::time_point arrived;
    int peak;
  };
  void Read();

  pid_t pid_ = -1;
  int pipe_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::vector<Block> blocks_;
};

}  // namespace velmora::testing
