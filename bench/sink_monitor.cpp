#include "sink_monitor.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace velmora::testing {

SinkMonitor::SinkMonitor(const std::string& sink) {
  int fds[2];
  if (pipe(fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  const std::string device = "--device=" + sink + ".monitor";
  // Mono 16-bit, delivered in blocks of 5 ms so arrival times are fine-grained.
  const char* argv[] = {"parec",          device.c_str(),       "--raw",
                        "--format=s16le", "--channels=1",       "--rate=44100",
                        "--latency=441",  "--process-time=441", nullptr};
  const int spawned =
      posix_spawnp(&pid_, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    pid_ = -1;
    close(fds[0]);
    return;
  }
  pipe_ = fds[0];
  reader_ = std::thread(&SinkMonitor::Read, this);
}

SinkMonitor::~SinkMonitor() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (reader_.joinable()) reader_.join();
  if (pipe_ >= 0) close(pipe_);
}

void SinkMonitor::Read() {
  std::int16_t samples[2048];
  std::size_t carried = 0;  // a byte left over from the previous read
  auto* bytes = reinterpret_cast<char*>(samples);
  for (;;) {
    const ssize_t got = read(pipe_, bytes + carried, sizeof(samples) - carried);
    if (got <= 0) return;
    const Clock::time_point now = Clock::now();
    const std::size_t total = carried + static_cast<std::size_t>(got);
    const std::size_t count = total / 2;
    int peak = 0;
    for (std::size_t i = 0; i < count; ++i)
      peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    carried = total % 2;
    if (carried) bytes[0] = bytes[total - 1];
    const std::lock_guard lock(mutex_);
    blocks_.push_back({now, peak});
  }
}

bool SinkMonitor::WaitUntilLive(Clock::duration timeout) {
  const Clock::time_point end = Clock::now() + timeout;
  while (Clock::now() < end) {
    {
      const std::lock_guard lock(mutex_);
      if (!blocks_.empty()) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

std::optional<SinkMonitor::Clock::time_point> SinkMonitor::FirstSoundAfter(
    Clock::time_point from) const {
  const std::lock_guard lock(mutex_);
  for (const Block& block : blocks_) {
    if (block.arrived >= from && block.peak > kSilence) return block.arrived;
  }
  return std::nullopt;
}

std::optional<SinkMonitor::Clock::time_point> SinkMonitor::LastSound() const {
  const std::lock_guard lock(mutex_);
  for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
    if (block->peak > kSilence) return block->arrived;
  }
  return std::nullopt;
}

int SinkMonitor::PeakBetween(Clock::time_point from, Clock::time_point to) const {
  const std::lock_guard lock(mutex_);
  int peak = 0;
  for (const Block& block : blocks_) {
    if (block.arrived >= from && block.arrived < to) peak = std::max(peak, block.peak);
  }
  return peak;
}

}  // namespace velmora::testing
