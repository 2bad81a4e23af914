// Side by side on one tune and one null sink: Velmora's sequencer layer against the FluidSynth
// command-line player. Each runs as a child process while this one listens to the sink's monitor
// and reads the child's counters from /proc.
//   velmora_sequencer_bench TUNE SOUNDFONT
// Run it inside tests/desktop_session.sh (it needs PULSE_SERVER and VELMORA_TEST_SINK).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/mci/fluid_mci.h"
#include "tests/sink_monitor.h"

extern char** environ;

namespace {

using velmora::testing::SinkMonitor;
using Clock = SinkMonitor::Clock;
using namespace std::chrono_literals;

constexpr auto kWarmUp = 1s;      // skipped before CPU is counted: start-up is not playback
constexpr auto kCpuWindow = 8s;   // playback over which CPU is counted
constexpr auto kIdleWindow = 5s;  // Velmora with nothing open
constexpr auto kSettle = 1500ms;  // after a stop, for the last sound to drain out

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

Clock::time_point FromNanoseconds(long long ns) {
  return Clock::time_point(std::chrono::nanoseconds(ns));
}
long long Nanoseconds(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// Counters of every thread of a process: time on a CPU and context switches.
struct Counters {
  long long cpuNs = 0;
  long long switches = 0;
  int threads = 0;
};

long long StatusField(const std::filesystem::path& status, const std::string& name) {
  std::ifstream in(status);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::atoll(line.c_str() + name.size() + 1);
  }
  return 0;
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

long long PeakRssKiB(pid_t pid) {
  return StatusField("/proc/" + std::to_string(pid) + "/status", "VmHWM");
}

struct Child {
  pid_t pid = -1;
  FILE* out = nullptr;  // the child's stdout
};

Child Spawn(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  Child child;
  if (posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    child.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  child.out = fdopen(fds[0], "r");
  return child;
}

// "NAME nanoseconds" from the child, in the order it does things.
Clock::time_point Expect(Child& child, const std::string& name) {
  char line[128];
  while (std::fgets(line, sizeof line, child.out)) {
    std::istringstream words(line);
    std::string word;
    long long ns = 0;
    if (words >> word >> ns && word == name) return FromNanoseconds(ns);
  }
  std::fprintf(stderr, "the child never reported %s\n", name.c_str());
  std::exit(1);
}

void Report(const std::string& name, long long ns) {
  std::printf("%s %lld\n", name.c_str(), ns);
  std::fflush(stdout);
}

// The child for Velmora: open, play, close, then stay idle with nothing open.
int RunVelmoraChild(const std::string& tune, int playSeconds, int idleSeconds, int gapMs) {
  velmora::posix::FluidMci mci;
  Report("LAUNCHED", Nanoseconds(Clock::now()));
  if (mci.SendString("open \"" + tune + "\" type sequencer alias bench") != 0) return 2;
  std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
  Report("PLAY", Nanoseconds(Clock::now()));
  if (mci.SendString("play bench") != 0) return 3;
  std::this_thread::sleep_for(std::chrono::seconds(playSeconds));
  Report("CLOSE", Nanoseconds(Clock::now()));
  mci.SendString("close bench");
  Report("CLOSED", Nanoseconds(Clock::now()));
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  return 0;
}

struct Figures {
  double launchToSoundMs = -1;
  double playToSoundMs = -1;  // Velmora only: from the play command
  double cpuPercent = 0;      // of one core, per second of music
  double switchesPerSecond = 0;
  long long peakRssKiB = 0;
  double stopToSilenceMs = -1;
  double idleCpuMs = -1;  // Velmora only
  long long idleSwitches = -1;
  int idleThreads = -1;
};

void WaitUntil(Clock::time_point t) { std::this_thread::sleep_until(t); }

std::optional<Clock::time_point> WaitForSound(const SinkMonitor& monitor, Clock::time_point from) {
  const Clock::time_point giveUp = from + 10s;
  while (Clock::now() < giveUp) {
    if (auto sound = monitor.FirstSoundAfter(from)) return sound;
    std::this_thread::sleep_for(5ms);
  }
  return std::nullopt;
}

void CountPlayback(pid_t pid, Clock::time_point soundStart, Figures& figures) {
  WaitUntil(soundStart + kWarmUp);
  const Counters before = Read(pid);
  const Clock::time_point from = Clock::now();
  WaitUntil(from + kCpuWindow);
  const Counters after = Read(pid);
  const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
  figures.cpuPercent = 100.0 * (after.cpuNs - before.cpuNs) / 1e9 / seconds;
  figures.switchesPerSecond = (after.switches - before.switches) / seconds;
  figures.peakRssKiB = PeakRssKiB(pid);
}

double StopToSilence(const SinkMonitor& monitor, Clock::time_point stop) {
  const auto last = monitor.LastSound();
  if (!last || *last < stop) return 0;
  return Milliseconds(*last - stop);
}

Figures MeasureVelmora(const SinkMonitor& monitor, const std::string& self,
                       const std::string& tune) {
  const int playSeconds =
      std::chrono::duration_cast<std::chrono::seconds>(kWarmUp + kCpuWindow).count() + 2;
  const int idleSeconds = std::chrono::duration_cast<std::chrono::seconds>(kIdleWindow).count() + 2;
  Child child = Spawn({self, "--velmora-child", tune, std::to_string(playSeconds),
                       std::to_string(idleSeconds), "0"});
  Figures figures;
  const Clock::time_point launched = Expect(child, "LAUNCHED");
  const Clock::time_point play = Expect(child, "PLAY");
  if (const auto sound = WaitForSound(monitor, play)) {
    figures.launchToSoundMs = Milliseconds(*sound - launched);
    figures.playToSoundMs = Milliseconds(*sound - play);
    CountPlayback(child.pid, *sound, figures);
  }
  const Clock::time_point stop = Expect(child, "CLOSE");
  const Clock::time_point closed = Expect(child, "CLOSED");
  WaitUntil(closed + 500ms);
  const Counters idleStart = Read(child.pid);
  const Clock::time_point from = Clock::now();
  WaitUntil(from + kIdleWindow);
  const Counters idleEnd = Read(child.pid);
  figures.idleCpuMs = (idleEnd.cpuNs - idleStart.cpuNs) / 1e6;
  figures.idleSwitches = idleEnd.switches - idleStart.switches;
  figures.idleThreads = idleEnd.threads;
  figures.stopToSilenceMs = StopToSilence(monitor, stop);
  waitpid(child.pid, nullptr, 0);
  std::fclose(child.out);
  return figures;
}

// Play sent a while after the open, with the sound output already running: the latency of the
// output's buffers rather than of its start.
double PlayToSoundWhenRunning(const SinkMonitor& monitor, const std::string& self,
                              const std::string& tune) {
  Child child = Spawn({self, "--velmora-child", tune, "2", "0", "1000"});
  const Clock::time_point play = Expect(child, "PLAY");
  const auto sound = WaitForSound(monitor, play);
  Expect(child, "CLOSED");
  waitpid(child.pid, nullptr, 0);
  std::fclose(child.out);
  return sound ? Milliseconds(*sound - play) : -1;
}

Figures MeasureCommandLine(const SinkMonitor& monitor, const std::string& soundFont,
                           const std::string& tune) {
  Figures figures;
  const Clock::time_point launched = Clock::now();
  Child child = Spawn({"fluidsynth", "-ni", "-a", "pulseaudio", soundFont, tune});
  if (child.pid < 0) {
    std::fprintf(stderr, "fluidsynth could not be started\n");
    return figures;
  }
  if (const auto sound = WaitForSound(monitor, launched)) {
    figures.launchToSoundMs = Milliseconds(*sound - launched);
    CountPlayback(child.pid, *sound, figures);
  }
  const Clock::time_point stop = Clock::now();
  kill(child.pid, SIGTERM);
  waitpid(child.pid, nullptr, 0);
  std::fclose(child.out);
  WaitUntil(stop + kSettle);
  figures.stopToSilenceMs = StopToSilence(monitor, stop);
  return figures;
}

void PrintRow(const char* name, double velmora, double cli, const char* unit) {
  std::printf("  %-34s %10.1f %10.1f %-6s", name, velmora, cli, unit);
  if (cli > 0 && velmora >= 0) std::printf("  ratio %.2f", velmora / cli);
  std::printf("\n");
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--velmora-child") {
    return RunVelmoraChild(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TUNE SOUNDFONT\n", argv[0]);
    return 1;
  }
  const char* sink = std::getenv("VELMORA_TEST_SINK");
  if (!sink || !std::getenv("PULSE_SERVER")) {
    std::fprintf(stderr, "run inside tests/desktop_session.sh: no test sink\n");
    return 1;
  }
  const std::string tune = std::filesystem::absolute(argv[1]);
  const std::string soundFont = std::filesystem::absolute(argv[2]);
  setenv("VELMORA_SOUNDFONT", soundFont.c_str(), 1);  // both players use the same sounds

  SinkMonitor monitor(sink);
  if (!monitor.Started() || !monitor.WaitUntilLive(5s)) {
    std::fprintf(stderr, "parec could not record %s.monitor\n", sink);
    return 1;
  }
  std::this_thread::sleep_for(500ms);
  const Figures velmora = MeasureVelmora(monitor, "/proc/self/exe", tune);
  std::this_thread::sleep_for(1s);
  const double playToSoundRunning = PlayToSoundWhenRunning(monitor, "/proc/self/exe", tune);
  std::this_thread::sleep_for(1s);
  const Figures cli = MeasureCommandLine(monitor, soundFont, tune);

  std::printf("Tune %s, SoundFont %s\n", tune.c_str(), soundFont.c_str());
  std::printf("  %-34s %10s %10s\n", "", "Velmora", "fluidsynth");
  PrintRow("launch to first sound", velmora.launchToSoundMs, cli.launchToSoundMs, "ms");
  std::printf("  %-34s %10.1f %10s %-6s\n", "play right after open to sound", velmora.playToSoundMs,
              "-", "ms");
  std::printf("  %-34s %10.1f %10s %-6s\n", "play 1 s after open to sound", playToSoundRunning, "-",
              "ms");
  PrintRow("CPU while playing (% of one core)", velmora.cpuPercent, cli.cpuPercent, "%");
  PrintRow("context switches per second", velmora.switchesPerSecond, cli.switchesPerSecond, "/s");
  PrintRow("peak RSS", velmora.peakRssKiB / 1024.0, cli.peakRssKiB / 1024.0, "MiB");
  PrintRow("stop to silence", velmora.stopToSilenceMs, cli.stopToSilenceMs, "ms");
  std::printf(
      "  idle over %llds after close: %.1f ms CPU, %lld context switches, %d thread(s)\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kIdleWindow).count()),
      velmora.idleCpuMs, velmora.idleSwitches, velmora.idleThreads);

  const bool soundSoon = velmora.playToSoundMs >= 0 && velmora.playToSoundMs <= 100 &&
                         playToSoundRunning >= 0 && playToSoundRunning <= 100;
  const bool cpuHalved = cli.cpuPercent > 0 && velmora.cpuPercent <= cli.cpuPercent / 2;
  const bool rssClose = cli.peakRssKiB > 0 && velmora.peakRssKiB <= cli.peakRssKiB + 15 * 1024;
  const bool idleQuiet = velmora.idleSwitches == 0 && velmora.idleThreads == 1;
  std::printf(
      "Targets: first sound <= 100 ms after play: %s; playback CPU <= half the CLI's: %s; "
      "RSS <= CLI + 15 MiB: %s; idle without wake-ups: %s\n",
      Verdict(soundSoon), Verdict(cpuHalved), Verdict(rssClose), Verdict(idleQuiet));
  return 0;
}
