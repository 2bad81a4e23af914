#include "bench/bench_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

extern char** environ;

namespace velmora::bench {

namespace {

long long StatusField(const std::filesystem::path& status, const std::string& name) {
  std::ifstream in(status);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::atoll(line.c_str() + name.size() + 1);
  }
  return 0;
}

}  // namespace

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

Counters Read(pid_t pid) {
  Counters counters;
  std::error_code ignored;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
    std::ifstream schedstat(task.path() / "schedstat");
    long long ns = 0;
    if (schedstat >> ns) counters.cpuNs += ns;
    counters.switches += StatusField(task.path() / "status", "voluntary_ctxt_switches") +
                         StatusField(task.path() / "status", "nonvoluntary_ctxt_switches");
    ++counters.threads;
  }
  return counters;
}

long long StatusKiB(pid_t pid, const std::string& field) {
  return StatusField("/proc/" + std::to_string(pid) + "/status", field);
}

Child::Child(const std::vector<std::string>& args) {
  int out[2], in[2];
  if (pipe(out) != 0) return;
  if (pipe(in) != 0) {
    close(out[0]);
    close(out[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  for (int fd : {out[0], out[1], in[0], in[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(in[0]);
  out_ = fdopen(out[0], "r");
  in_ = fdopen(in[1], "w");
}

Child::~Child() {
  Terminate();
  if (out_) std::fclose(out_);
  if (in_) std::fclose(in_);
}

long long Child::ExpectValue(const std::string& name) {
  char line[256];
  while (out_ && std::fgets(line, sizeof line, out_)) {
    std::istringstream words(line);
    std::string word;
    long long value = 0;
    if (words >> word >> value && word == name) return value;
  }
  std::fprintf(stderr, "the child never reported %s\n", name.c_str());
  std::exit(1);
}

Clock::time_point Child::Expect(const std::string& name) {
  return Clock::time_point(std::chrono::nanoseconds(ExpectValue(name)));
}

void Child::Tell(const std::string& line) {
  if (!in_) return;
  std::fprintf(in_, "%s\n", line.c_str());
  std::fflush(in_);
}

void Child::Terminate() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  Wait();
}

void Child::Wait() {
  if (pid_ <= 0) return;
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void Report(const std::string& name, long long value) {
  std::printf("%s %lld\n", name.c_str(), value);
  std::fflush(stdout);
}

long long Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

std::string NextLine() {
  std::string line;
  std::getline(std::cin, line);
  return line;
}

}  // namespace velmora::bench
