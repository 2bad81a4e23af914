#pragma once
// Child processes for the benchmark: started with pipes on their standard input and output, talked
// to line by line, and measured from /proc.

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d);

// Counters of every thread of a process.
struct Counters {
  long long cpuNs = 0;  // time on a CPU
  long long switches = 0;
  int threads = 0;
};
Counters Read(pid_t pid);
// A field of /proc/PID/status in KiB ("VmRSS", "VmHWM"); 0 when the process is gone.
long long StatusKiB(pid_t pid, const std::string& field);

class Child {
 public:
  explicit Child(const std::vector<std::string>& args);
  ~Child();  // ends the child if it still runs
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Waits for the line "NAME nanoseconds" and returns that time; ends the benchmark when the child
  // stops talking first.
  Clock::time_point Expect(const std::string& name);
  // Waits for "NAME value".
  long long ExpectValue(const std::string& name);
  void Tell(const std::string& line);
  void Terminate();
  void Wait();

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;  // the child's standard output
  FILE* in_ = nullptr;   // the child's standard input
};

// For the child: "NAME value" on standard output, flushed; Now() as nanoseconds of Clock.
void Report(const std::string& name, long long value);
long long Now();
// For the child: the next line on standard input.
std::string NextLine();

}  // namespace velmora::bench
