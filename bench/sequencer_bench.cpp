// Velmora's sound engine side by side with the FluidSynth command line (-z 1024 and -z 2048) and
// with the offline synthesis floor, on a private null sink, for two SoundFonts:
// - playing the demo tune: CPU and wake-ups while playing, output latency, idle after close, and
//   after a short piece has ended by itself with the player still open;
// - generated files of 10 KB, 1 MB and 20 MB: open, Play to first sound, Stop to return (after
//   0.8 s of sound, and 0.1 s after Play), the last sound after Stop, the open of a small file
//   right after Stop, memory before, while playing and after Stop, CPU and threads after Stop.
// - Stop at random moments of the demo tune, so it falls anywhere in the output's buffer;
// - underruns: the demo tune played for 10 s on a PulseAudio server of the benchmark's own that
//   logs them, with the machine as it is and with nproc + 1 busy processes, and Play to first
//   sound and Stop in those runs.
// Each player runs as a child process while this one listens to the sink's monitor and reads the
// child's counters from /proc.
//   velmora_sequencer_bench [--loaded-runs=N] TUNE SCRATCH_FOLDER SOUNDFONT...
// Run it inside tests/desktop_session.sh (it needs PULSE_SERVER and VELMORA_TEST_SINK).
#include <fluidsynth.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_process.h"
#include "bench/debug_pulse_server.h"
#include "bench/sink_monitor.h"
#include "sound_engine/fluid_log.h"
#include "sound_engine/fluid_mci.h"

namespace {

namespace fs = std::filesystem;
using namespace velmora::bench;
using velmora::testing::SinkMonitor;
using namespace std::chrono_literals;

constexpr auto kWarmUp = 1s;           // skipped before CPU is counted: start-up is not playback
constexpr auto kCpuWindow = 8s;        // playback over which CPU is counted
constexpr auto kIdleWindow = 5s;       // Velmora with nothing open
constexpr auto kHeld = 800ms;          // after first sound, before memory is read
constexpr auto kUnderrunWindow = 10s;  // of the demo tune, Play to Stop, for underruns
constexpr int kRandomStops = 20;
constexpr int kLayerPeriod = 2048;
const std::vector<long> kFileSizes{10'000, 1'000'000, 20'000'000};

// ---- generated files: 8 tracks of notes, 0.1 s each, running status (3 bytes an event) ----

std::string Chunk(const char* id, const std::string& body) {
  std::string chunk(id, 4);
  for (int shift : {24, 16, 8, 0}) chunk += static_cast<char>(body.size() >> shift);
  return chunk + body;
}

fs::path GenerateFile(const fs::path& folder, long size) {
  const fs::path path = folder / ("generated-" + std::to_string(size) + ".mid");
  if (fs::exists(path)) return path;
  constexpr char kTracks = 8;
  const char notes[] = {60, 64, 67, 72, 67, 64};
  // format 1, 8 tracks, 480 ticks a quarter note
  std::string file = Chunk("MThd", {0, 1, 0, kTracks, 480 >> 8, static_cast<char>(480 & 0xFF)});
  for (char channel = 0; channel < kTracks; ++channel) {
    std::string track{0, static_cast<char>(0xC0 | channel), static_cast<char>(channel * 5)};
    track += {0, static_cast<char>(0x90 | channel), notes[0], 100};
    int played = 0;
    while (static_cast<long>(track.size()) < size / kTracks) {
      // after 96 ticks the note ends (velocity 0) and the next begins, both under running status
      track += {0x60, notes[played % 6], 0, 0, notes[(played + 1) % 6], 90};
      ++played;
    }
    track += {0x60, notes[played % 6], 0, 0, static_cast<char>(0xFF), 0x2F, 0};
    file += Chunk("MTrk", track);
  }
  std::ofstream(path, std::ios::binary)
      .write(file.data(), static_cast<std::streamsize>(file.size()));
  return path;
}

// ---- the children ----

// Velmora: opens a small file first (that open loads the SoundFont), then the measured one; plays
// and closes it when told, then at once opens and closes the small file again; idles until told
// to exit.
int RunVelmoraChild(const std::string& warmUp, const std::string& file) {
  velmora::posix::FluidMci mci;
  const long long start = Now();
  if (mci.SendString("open \"" + warmUp + "\" type sequencer alias warm") != 0) return 2;
  mci.SendString("close warm");
  Report("FIRST_OPEN_NS", Now() - start);
  std::this_thread::sleep_for(300ms);  // a user's pause between two pieces
  Report("BEFORE_OPEN", Now());
  const unsigned opened = mci.SendString("open \"" + file + "\" type sequencer alias bench");
  Report("OPENED", Now());
  Report("OPEN_ERROR", opened);
  NextLine();
  Report("PLAY", Now());
  mci.SendString("play bench");
  NextLine();
  Report("CLOSE", Now());
  mci.SendString("close bench");
  Report("CLOSED", Now());
  mci.SendString("open \"" + warmUp + "\" type sequencer alias next");
  Report("NEXT_OPENED", Now());
  mci.SendString("close next");
  NextLine();
  return 0;
}

// Velmora: `count` times opens the tune, plays it, closes it at a random moment 0.3 to 0.4 s after
// Play (anywhere in the output's buffer) and waits 0.3 s.
int RunStopsChild(const std::string& tune, int count) {
  velmora::posix::FluidMci mci;
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> extraUs(0, 100'000);
  for (int i = 0; i < count; ++i) {
    if (mci.SendString("open \"" + tune + "\" type sequencer alias stop") != 0) return 2;
    mci.SendString("play stop");
    std::this_thread::sleep_for(300ms + std::chrono::microseconds(extraUs(random)));
    Report("CLOSE", Now());
    mci.SendString("close stop");
    Report("CLOSED", Now());
    std::this_thread::sleep_for(300ms);
  }
  return 0;
}

std::vector<std::string> VelmoraChild(const std::string& warmUp, const std::string& file) {
  return {"/proc/self/exe", "--velmora-child", warmUp, file};
}

std::optional<Clock::time_point> WaitForSound(const SinkMonitor& monitor, Clock::time_point from,
                                              Clock::duration patience = 20s) {
  const Clock::time_point giveUp = from + patience;
  while (Clock::now() < giveUp) {
    if (auto sound = monitor.FirstSoundAfter(from)) return sound;
    std::this_thread::sleep_for(5ms);
  }
  return std::nullopt;
}

// Until the sink has been silent for a while: nothing of the last player is mistaken for the next.
void WaitForSilence(const SinkMonitor& monitor) {
  const Clock::time_point giveUp = Clock::now() + 5s;
  while (Clock::now() < giveUp &&
         monitor.PeakBetween(Clock::now() - 300ms, Clock::now()) > SinkMonitor::kSilence)
    std::this_thread::sleep_for(20ms);
}

// PulseAudio's own figure for the stream playing now: its buffer plus the sink's, in ms.
double OutputLatencyMs() {
  FILE* pactl = popen("pactl list sink-inputs", "r");
  if (!pactl) return -1;
  char line[256];
  double usec = 0;
  while (std::fgets(line, sizeof line, pactl)) {
    double value = 0;
    if (std::sscanf(line, " Buffer Latency: %lf usec", &value) == 1 ||
        std::sscanf(line, " Sink Latency: %lf usec", &value) == 1)
      usec += value;
  }
  pclose(pactl);
  return usec / 1000;
}

// ---- the demo tune: CPU, wake-ups, latency ----

struct Playing {
  double cpuPercent = -1;  // of one core
  double wakeUps = -1;     // context switches a second
  double latencyMs = -1;
  double playToSoundMs = -1;
  double idleCpuMs = -1;
  long long idleSwitches = -1;
  int idleThreads = -1;
};

void CountPlayback(pid_t pid, Clock::time_point soundStart, Playing& figures) {
  std::this_thread::sleep_until(soundStart + kWarmUp);
  const Counters before = Read(pid);
  const Clock::time_point from = Clock::now();
  figures.latencyMs = OutputLatencyMs();
  std::this_thread::sleep_until(from + kCpuWindow);
  const Counters after = Read(pid);
  const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
  figures.cpuPercent = 100.0 * (after.cpuNs - before.cpuNs) / 1e9 / seconds;
  figures.wakeUps = (after.switches - before.switches) / seconds;
}

Playing VelmoraPlaying(const SinkMonitor& monitor, const std::string& tune) {
  Playing figures;
  Child child(VelmoraChild(tune, tune));
  child.Expect("OPENED");
  std::this_thread::sleep_for(1s);  // the output runs: what Play waits for is its buffer
  WaitForSilence(monitor);
  child.Tell("play");
  const Clock::time_point play = child.Expect("PLAY");
  if (const auto sound = WaitForSound(monitor, play)) {
    figures.playToSoundMs = Milliseconds(*sound - play);
    CountPlayback(child.pid(), *sound, figures);
  }
  child.Tell("close");
  child.Expect("NEXT_OPENED");
  std::this_thread::sleep_for(500ms);
  const Counters idleStart = Read(child.pid());
  std::this_thread::sleep_for(kIdleWindow);
  const Counters idleEnd = Read(child.pid());
  figures.idleCpuMs = (idleEnd.cpuNs - idleStart.cpuNs) / 1e6;
  figures.idleSwitches = idleEnd.switches - idleStart.switches;
  figures.idleThreads = idleEnd.threads;
  child.Tell("exit");
  child.Wait();
  return figures;
}

// A piece of one note that lasts 2 s.
std::string GenerateShortPiece(const fs::path& scratch) {
  const std::string track("\x00\x90\x3c\x64\x83\x00\x80\x3c\x40\x00\xff\x2f\x00", 13);
  const std::string path = scratch / "two-seconds.mid";
  std::ofstream(path, std::ios::binary) << std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14) << "MTrk"
                                        << std::string("\0\0\0\x0d", 4) << track;
  return path;
}

// Velmora with a piece that has played to its end and is still open: what the rest costs.
Playing VelmoraAfterTheEnd(const std::string& piece) {
  Playing figures;
  Child child(VelmoraChild(piece, piece));
  child.Expect("OPENED");
  child.Tell("play");
  child.Expect("PLAY");
  std::this_thread::sleep_for(4s);  // 2 s of music, its tail, the output's buffer playing out
  const Counters before = Read(child.pid());
  std::this_thread::sleep_for(kIdleWindow);
  const Counters after = Read(child.pid());
  figures.idleCpuMs = (after.cpuNs - before.cpuNs) / 1e6;
  figures.idleSwitches = after.switches - before.switches;
  child.Tell("close");
  child.Expect("NEXT_OPENED");
  child.Tell("exit");
  child.Wait();
  return figures;
}

std::vector<std::string> CommandLine(int period, const std::string& soundFont,
                                     const std::string& file) {
  return {"fluidsynth",           "-ni", "-q", "-a",      "pulseaudio", "-z",
          std::to_string(period), "-c",  "2",  soundFont, file};
}

Playing CommandLinePlaying(const SinkMonitor& monitor, int period, const std::string& soundFont,
                           const std::string& tune) {
  Playing figures;
  WaitForSilence(monitor);
  const Clock::time_point launched = Clock::now();
  Child child(CommandLine(period, soundFont, tune));
  if (const auto sound = WaitForSound(monitor, launched))
    CountPlayback(child.pid(), *sound, figures);
  child.Terminate();
  std::this_thread::sleep_for(1s);
  return figures;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// Pure synthesis: the tune rendered offline in blocks of 2048 frames, with the synthesizer
// settings every player here uses; CPU per second of music.
double OfflineFloorPercent(const std::string& soundFont, const std::string& tune) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_synth_sfload(synth, soundFont.c_str(), 1);
  fluid_player_t* player = new_fluid_player(synth);
  fluid_player_add(player, tune.c_str());
  fluid_player_play(player);
  std::vector<float> block(2 * kLayerPeriod);
  long frames = 0;
  const double start = ThreadCpuSeconds();
  while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING) {
    fluid_synth_write_float(synth, kLayerPeriod, block.data(), 0, 2, block.data(), 1, 2);
    frames += kLayerPeriod;
  }
  const double cpu = ThreadCpuSeconds() - start;
  delete_fluid_player(player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return 100.0 * cpu / (frames / 44100.0);
}

// ---- the files ----

struct FileFigures {
  double firstOpenMs = -1;  // the open that loads the SoundFont
  double openMs = -1;
  double playToSoundMs = -1;
  double rssBeforeMiB = -1;  // before the open, the SoundFont loaded
  double rssPlayingMiB = -1;
  double stopMs = -1;
  double soundAfterStopMs = -1;  // the last sound heard after close returned
  double nextOpenMs = -1;        // a small file opened right after Stop
  double rssAfterStopMiB = -1;
  double idleCpuMs = -1;  // over 2 s after Stop
  long long idleSwitches = -1;
  int idleThreads = -1;
  double earlyStopMs = -1;  // close 0.1 s after Play
  double earlySoundAfterStopMs = -1;
  double earlyNextOpenMs = -1;
  double cliLaunchToSoundMs = -1;
  double cliRssPlayingMiB = -1;
  unsigned openError = 0;
  double sizeMB = 0;
};

// The last sound the sink played after `closed`, in ms after it; 0 when none.
double SoundAfter(const SinkMonitor& monitor, Clock::time_point closed) {
  std::this_thread::sleep_for(500ms);  // what reaches the monitor late is counted too
  const auto last = monitor.LastSound();
  return last && *last > closed ? Milliseconds(*last - closed) : 0;
}

void VelmoraFile(const SinkMonitor& monitor, const std::string& warmUp, const std::string& file,
                 FileFigures& figures, bool early) {
  Child child(VelmoraChild(warmUp, file));
  figures.firstOpenMs = child.ExpectValue("FIRST_OPEN_NS") / 1e6;
  const Clock::time_point open = child.Expect("BEFORE_OPEN");
  const double rssBefore = StatusKiB(child.pid(), "VmRSS") / 1024.0;
  const double openMs = Milliseconds(child.Expect("OPENED") - open);
  figures.openError = static_cast<unsigned>(child.ExpectValue("OPEN_ERROR"));
  WaitForSilence(monitor);
  child.Tell("play");
  const Clock::time_point play = child.Expect("PLAY");
  if (early) {
    std::this_thread::sleep_until(play + 100ms);
  } else if (const auto sound = WaitForSound(monitor, play)) {
    figures.playToSoundMs = Milliseconds(*sound - play);
    std::this_thread::sleep_until(*sound + kHeld);
    figures.rssPlayingMiB = StatusKiB(child.pid(), "VmRSS") / 1024.0;
  }
  child.Tell("close");
  const Clock::time_point close = child.Expect("CLOSE");
  const Clock::time_point closed = child.Expect("CLOSED");
  const double nextOpenMs = Milliseconds(child.Expect("NEXT_OPENED") - closed);
  const double soundAfter = SoundAfter(monitor, closed);
  (early ? figures.earlyStopMs : figures.stopMs) = Milliseconds(closed - close);
  (early ? figures.earlySoundAfterStopMs : figures.soundAfterStopMs) = soundAfter;
  (early ? figures.earlyNextOpenMs : figures.nextOpenMs) = nextOpenMs;
  if (!early) {
    figures.openMs = openMs;
    figures.rssBeforeMiB = rssBefore;
    figures.rssAfterStopMiB = StatusKiB(child.pid(), "VmRSS") / 1024.0;
    const Counters idleStart = Read(child.pid());
    std::this_thread::sleep_for(2s);
    const Counters idleEnd = Read(child.pid());
    figures.idleCpuMs = (idleEnd.cpuNs - idleStart.cpuNs) / 1e6;
    figures.idleSwitches = idleEnd.switches - idleStart.switches;
    figures.idleThreads = idleEnd.threads;
  }
  child.Tell("exit");
  child.Wait();
}

void CommandLineFile(const SinkMonitor& monitor, const std::string& soundFont,
                     const std::string& file, FileFigures& figures) {
  WaitForSilence(monitor);
  const Clock::time_point launched = Clock::now();
  Child child(CommandLine(1024, soundFont, file));
  if (const auto sound = WaitForSound(monitor, launched)) {
    figures.cliLaunchToSoundMs = Milliseconds(*sound - launched);
    std::this_thread::sleep_until(*sound + kHeld);
    figures.cliRssPlayingMiB = StatusKiB(child.pid(), "VmRSS") / 1024.0;
  }
  child.Terminate();
  std::this_thread::sleep_for(1s);
}

// ---- printing ----

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

std::string SizeName(long size) {
  return size >= 1'000'000 ? std::to_string(size / 1'000'000) + " MB"
                           : std::to_string(size / 1000) + " KB";
}

template <typename Field>
void FileRow(const char* name, const std::vector<FileFigures>& rows, Field field,
             const char* format = "%10.1f") {
  std::printf("  %-44s", name);
  for (const FileFigures& row : rows) std::printf(format, field(row));
  std::printf("\n");
}

// What the closing summary takes from one SoundFont's run.
struct SoundFontSummary {
  std::string soundFont;
  Playing velmora;
  std::vector<double> stopsMs;        // every Stop of the generated files, to return
  std::vector<double> playToSoundMs;  // of the generated files
  double latestSoundAfterStopMs = 0;
};

SoundFontSummary BenchSoundFont(const SinkMonitor& monitor, const std::string& soundFont,
                                const std::string& tune, const fs::path& scratch) {
  setenv("VELMORA_SOUNDFONT", soundFont.c_str(), 1);  // every player uses the same sounds
  std::printf("\n== SoundFont %s (%.0f MB)\n", soundFont.c_str(), fs::file_size(soundFont) / 1e6);
  std::fflush(stdout);

  // The least of three renders: other work on a shared machine only ever adds to it.
  double floor = OfflineFloorPercent(soundFont, tune);
  for (int i = 0; i < 2; ++i) floor = std::min(floor, OfflineFloorPercent(soundFont, tune));
  const Playing velmora = VelmoraPlaying(monitor, tune);
  const Playing cli = CommandLinePlaying(monitor, 1024, soundFont, tune);
  const Playing cliSamePeriod = CommandLinePlaying(monitor, kLayerPeriod, soundFont, tune);
  std::printf("Demo tune %s, CPU over %llds of music after %llds\n", tune.c_str(),
              static_cast<long long>(kCpuWindow.count()), static_cast<long long>(kWarmUp.count()));
  std::printf("  %-30s %10s %14s %14s %10s\n", "", "Velmora", "fs -z 1024", "fs -z 2048",
              "offline");
  std::printf("  %-30s %10.2f %14.2f %14.2f %10.2f\n", "CPU (% of one core)", velmora.cpuPercent,
              cli.cpuPercent, cliSamePeriod.cpuPercent, floor);
  std::printf("  %-30s %10.2f %14.2f %14.2f %10.2f\n", "  ratio to the offline floor",
              velmora.cpuPercent / floor, cli.cpuPercent / floor, cliSamePeriod.cpuPercent / floor,
              1.0);
  std::printf("  %-30s %10.0f %14.0f %14.0f\n", "wake-ups a second", velmora.wakeUps, cli.wakeUps,
              cliSamePeriod.wakeUps);
  std::printf("  %-30s %10.1f %14.1f %14.1f\n", "output latency (PulseAudio) ms", velmora.latencyMs,
              cli.latencyMs, cliSamePeriod.latencyMs);
  std::printf("  %-30s %10.1f\n", "Play to sound, output running", velmora.playToSoundMs);
  std::printf("  idle %llds after close: %.1f ms CPU, %lld context switches, %d thread(s)\n",
              static_cast<long long>(kIdleWindow.count()), velmora.idleCpuMs, velmora.idleSwitches,
              velmora.idleThreads);
  const Playing ended = VelmoraAfterTheEnd(GenerateShortPiece(scratch));
  std::printf("  %llds after a 2 s piece ended, still open: %.1f ms CPU, %lld context switches\n",
              static_cast<long long>(kIdleWindow.count()), ended.idleCpuMs, ended.idleSwitches);
  std::printf(
      "Targets: wake-ups <= 50 a second: %s; CPU <= 2x the floor: %s, <= 0.4x fs -z 1024: %s; "
      "after the end no CPU and no wake-up: %s\n",
      Verdict(velmora.wakeUps >= 0 && velmora.wakeUps <= 50),
      Verdict(velmora.cpuPercent >= 0 && velmora.cpuPercent <= 2 * floor),
      Verdict(velmora.cpuPercent >= 0 && velmora.cpuPercent <= 0.4 * cli.cpuPercent),
      Verdict(ended.idleCpuMs == 0 && ended.idleSwitches == 0));

  std::vector<FileFigures> rows(kFileSizes.size());
  const std::string warmUp = GenerateFile(scratch, kFileSizes.front());
  for (std::size_t i = 0; i < kFileSizes.size(); ++i) {
    const std::string file = GenerateFile(scratch, kFileSizes[i]);
    rows[i].sizeMB = kFileSizes[i] / 1e6;
    VelmoraFile(monitor, warmUp, file, rows[i], false);
    VelmoraFile(monitor, warmUp, file, rows[i], true);
    CommandLineFile(monitor, soundFont, file, rows[i]);
  }
  std::printf("Generated files (fluidsynth: -z 1024 -c 2, the same SoundFont)\n  %-44s", "");
  for (long size : kFileSizes) std::printf("%10s", SizeName(size).c_str());
  std::printf("\n");
  const auto openError = [](auto& r) { return r.openError; };
  FileRow("open refused with (0: played)", rows, openError, "%10u");
  FileRow("first open of a process, loads the SoundFont ms", rows,
          [](auto& r) { return r.firstOpenMs; });
  FileRow("open ms", rows, [](auto& r) { return r.openMs; });
  FileRow("Play to first sound ms", rows, [](auto& r) { return r.playToSoundMs; });
  FileRow("  fluidsynth: launch to first sound ms", rows,
          [](auto& r) { return r.cliLaunchToSoundMs; });
  FileRow("Stop after 0.8 s of sound, to return ms", rows, [](auto& r) { return r.stopMs; });
  FileRow("  last sound after Stop returned ms", rows, [](auto& r) { return r.soundAfterStopMs; });
  FileRow("  open of a small file right after ms", rows, [](auto& r) { return r.nextOpenMs; });
  FileRow("Stop 0.1 s after Play, to return ms", rows, [](auto& r) { return r.earlyStopMs; });
  FileRow("  last sound after Stop returned ms", rows,
          [](auto& r) { return r.earlySoundAfterStopMs; });
  FileRow("  open of a small file right after ms", rows, [](auto& r) { return r.earlyNextOpenMs; });
  FileRow("RSS before the open MiB", rows, [](auto& r) { return r.rssBeforeMiB; });
  FileRow("RSS while playing MiB", rows, [](auto& r) { return r.rssPlayingMiB; });
  FileRow(
      "  MiB per MB of file above before", rows,
      [](auto& r) { return (r.rssPlayingMiB - r.rssBeforeMiB) / std::max(0.01, r.sizeMB); },
      "%10.2f");
  FileRow("  fluidsynth MiB", rows, [](auto& r) { return r.cliRssPlayingMiB; });
  FileRow("RSS after Stop MiB", rows, [](auto& r) { return r.rssAfterStopMiB; });
  FileRow("2 s after Stop: CPU ms", rows, [](auto& r) { return r.idleCpuMs; });
  FileRow(
      "  context switches", rows, [](auto& r) { return static_cast<double>(r.idleSwitches); },
      "%10.0f");
  const auto threads = [](auto& r) { return r.idleThreads; };
  FileRow("  threads", rows, threads, "%10d");

  bool firstSound = true, stopsAtOnce = true, silent = true, nextOpen = true, memory = true,
       memoryBack = true, idle = true;
  for (const FileFigures& row : rows) {
    firstSound =
        firstSound && row.openError == 0 && row.playToSoundMs >= 0 && row.playToSoundMs <= 30;
    stopsAtOnce = stopsAtOnce && row.stopMs <= 5 && row.earlyStopMs <= 5;
    silent = silent && row.soundAfterStopMs <= 20 && row.earlySoundAfterStopMs <= 20;
    nextOpen = nextOpen && row.nextOpenMs <= 60 && row.earlyNextOpenMs <= 60;
    memory = memory && row.rssPlayingMiB <= row.rssBeforeMiB + 3 * std::max(1.0, row.sizeMB);
    memoryBack = memoryBack && row.rssAfterStopMiB <= row.rssBeforeMiB + 5;
    idle = idle && row.idleCpuMs == 0 && row.idleSwitches == 0;
  }
  std::printf(
      "Targets: Play to first sound <= 30 ms: %s; Stop <= 5 ms (these Stops): %s; silent "
      "within 20 ms: %s; next open <= 60 ms: %s; playing <= before + 3 MiB per MB: %s; after Stop "
      "within 5 MiB of before: %s; no CPU and no wake-ups after Stop: %s\n",
      Verdict(firstSound), Verdict(stopsAtOnce), Verdict(silent), Verdict(nextOpen),
      Verdict(memory), Verdict(memoryBack), Verdict(idle));
  std::fflush(stdout);
  SoundFontSummary summary{fs::path(soundFont).filename(), velmora, {}, {}, 0};
  for (const FileFigures& row : rows) {
    summary.stopsMs.insert(summary.stopsMs.end(), {row.stopMs, row.earlyStopMs});
    summary.playToSoundMs.push_back(row.playToSoundMs);
    summary.latestSoundAfterStopMs =
        std::max({summary.latestSoundAfterStopMs, row.soundAfterStopMs, row.earlySoundAfterStopMs});
  }
  return summary;
}

// ---- Stop at random moments ----

struct RandomStops {
  std::vector<double> ms;  // to return
  int heardLate = 0;       // Stops with sound more than 50 ms after they returned
};

RandomStops StopAtRandom(const SinkMonitor& monitor, const std::string& tune) {
  RandomStops stops;
  WaitForSilence(monitor);
  Child child({"/proc/self/exe", "--velmora-stops", tune, std::to_string(kRandomStops)});
  std::vector<Clock::time_point> returned;
  for (int i = 0; i < kRandomStops; ++i) {
    const Clock::time_point close = child.Expect("CLOSE");
    returned.push_back(child.Expect("CLOSED"));
    stops.ms.push_back(Milliseconds(returned.back() - close));
  }
  child.Wait();
  std::this_thread::sleep_for(300ms);  // what reaches the monitor late is counted too
  for (const Clock::time_point at : returned)
    if (monitor.PeakBetween(at + 50ms, at + 250ms) > SinkMonitor::kSilence) ++stops.heardLate;
  return stops;
}

// ---- underruns ----

struct UnderrunRun {
  int busy = 0;            // busy processes beside the player
  double loadBefore = -1;  // the load average over the last minute, before they started
  int underruns = -1;
  double playToSoundMs = -1;
  double stopMs = -1;
  double bufferMs = -1;  // what the stream asked the server for: its buffer (tlength)
};

double LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

// The demo tune played for kUnderrunWindow on the debug server, `busy` processes spinning beside
// it.
UnderrunRun PlayForUnderruns(const DebugPulseServer& server, const SinkMonitor& monitor,
                             const std::string& tune, int busy) {
  UnderrunRun run;
  run.busy = busy;
  run.loadBefore = LoadAverage();
  std::vector<std::unique_ptr<Child>> spinners;
  for (int i = 0; i < busy; ++i)
    spinners.push_back(
        std::make_unique<Child>(std::vector<std::string>{"sh", "-c", "while :; do :; done"}));
  const std::uintmax_t launched = server.LogMark();
  Child child(VelmoraChild(tune, tune));
  // Counted from the measured piece's own output (the first open's has ended 0.3 s before) ...
  child.Expect("BEFORE_OPEN");
  const std::uintmax_t from = server.LogMark();
  child.Expect("OPENED");
  child.Tell("play");
  const Clock::time_point play = child.Expect("PLAY");
  if (const auto sound = WaitForSound(monitor, play, kUnderrunWindow))
    run.playToSoundMs = Milliseconds(*sound - play);
  std::this_thread::sleep_until(play + kUnderrunWindow);
  // ... to just before Stop: the stream's end, when it runs dry on purpose, is not counted.
  const std::uintmax_t to = server.LogMark();
  child.Tell("close");
  const Clock::time_point close = child.Expect("CLOSE");
  run.stopMs = Milliseconds(child.Expect("CLOSED") - close);
  child.Expect("NEXT_OPENED");
  child.Tell("exit");
  child.Wait();
  run.underruns = server.UnderrunsBetween(from, to);
  run.bufferMs = server.RequestedBufferMs(launched);
  return run;
}

// One run as the machine is, then `loadedRuns` with nproc + 1 busy processes.
std::vector<UnderrunRun> BenchUnderruns(const std::string& tune, int loadedRuns) {
  std::vector<UnderrunRun> runs;
  DebugPulseServer server;
  if (!server.Started()) {
    std::fprintf(stderr, "the benchmark's own PulseAudio server did not start\n");
    return runs;
  }
  // Every child and parec from here on play on that server.
  setenv("PULSE_SERVER", server.Address().c_str(), 1);
  SinkMonitor monitor(DebugPulseServer::kSink);
  if (!monitor.Started() || !monitor.WaitUntilLive(5s)) {
    std::fprintf(stderr, "parec could not record the benchmark server's sink\n");
    return runs;
  }
  const int busy = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)) + 1;
  runs.push_back(PlayForUnderruns(server, monitor, tune, 0));
  for (int i = 0; i < loadedRuns; ++i)
    runs.push_back(PlayForUnderruns(server, monitor, tune, busy));
  return runs;
}

// ---- the summary: what the output costs and what it buys ----

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Worst(const std::vector<double>& values) {
  return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

void PrintSummary(const std::vector<SoundFontSummary>& soundFonts, const RandomStops& randomStops,
                  const std::vector<UnderrunRun>& runs, const std::string& soundFont) {
  const double bufferMs = runs.empty() ? -1 : runs.front().bufferMs;
  std::printf("\n== Output buffer: %.0f frames (%.2f ms)\n", bufferMs * 44.1, bufferMs);
  std::printf("Demo tune, %s\n", soundFont.c_str());
  std::printf(
      "Underruns in %llds of the tune (the benchmark's own PulseAudio, load average (1 min) "
      "at the start of each run):\n",
      static_cast<long long>(kUnderrunWindow.count()));
  bool glitchFree = runs.size() > 1, firstSound = true;
  std::vector<double> loadedStops;
  for (const UnderrunRun& run : runs) {
    std::printf("  %-28s %3d underruns; Play to first sound %6.1f ms; Stop %5.1f ms; load %.2f\n",
                run.busy == 0 ? "as the machine is"
                              : (std::to_string(run.busy) + " busy processes").c_str(),
                run.underruns, run.playToSoundMs, run.stopMs, run.loadBefore);
    glitchFree = glitchFree && run.underruns == 0;
    // Under load the benchmark itself waits for a core, so only the other runs count here.
    if (run.busy == 0) firstSound = firstSound && run.playToSoundMs >= 0 && run.playToSoundMs <= 30;
    if (run.busy > 0) loadedStops.push_back(run.stopMs);
  }
  std::printf(
      "Stop to return, %zu at random moments: typical (median) %.1f ms, worst %.1f ms; sound "
      "more than 50 ms after %d of them\n",
      randomStops.ms.size(), Median(randomStops.ms), Worst(randomStops.ms), randomStops.heardLate);
  std::printf("  with busy processes: worst %.1f ms\n", Worst(loadedStops));
  std::vector<double> fileStops, plays;
  double latest = 0;
  for (const SoundFontSummary& summary : soundFonts) {
    fileStops.insert(fileStops.end(), summary.stopsMs.begin(), summary.stopsMs.end());
    plays.insert(plays.end(), summary.playToSoundMs.begin(), summary.playToSoundMs.end());
    latest = std::max(latest, summary.latestSoundAfterStopMs);
    firstSound =
        firstSound && summary.velmora.playToSoundMs >= 0 && summary.velmora.playToSoundMs <= 50;
    std::printf("%s: CPU %.2f %% of one core, %.0f wake-ups a second, Play to sound %.1f ms\n",
                summary.soundFont.c_str(), summary.velmora.cpuPercent, summary.velmora.wakeUps,
                summary.velmora.playToSoundMs);
  }
  for (const double ms : plays) firstSound = firstSound && ms >= 0 && ms <= 30;
  std::printf(
      "Generated files: %zu Stops at set times after first sound: worst %.1f ms, last sound %.1f "
      "ms after; Play to first sound up to %.1f ms\n",
      fileStops.size(), Worst(fileStops), latest, Worst(plays));
  fileStops.insert(fileStops.end(), randomStops.ms.begin(), randomStops.ms.end());
  std::printf(
      "Targets: no underrun with busy processes: %s; Stop <= 5 ms (worst): %s; silent within "
      "20 ms of Stop: %s; Play to first sound <= 30 ms: %s\n",
      Verdict(glitchFree), Verdict(!randomStops.ms.empty() && Worst(fileStops) <= 5),
      Verdict(latest <= 20 && randomStops.heardLate == 0), Verdict(firstSound));
}

}  // namespace

int main(int argc, char** argv) {
  velmora::posix::RouteFluidSynthLog();
  if (argc == 4 && std::string(argv[1]) == "--velmora-child")
    return RunVelmoraChild(argv[2], argv[3]);
  if (argc == 4 && std::string(argv[1]) == "--velmora-stops")
    return RunStopsChild(argv[2], std::atoi(argv[3]));
  int loadedRuns = 3;
  for (; argc > 1 && std::string(argv[1]).rfind("--", 0) == 0; --argc, ++argv) {
    const std::string option = argv[1];
    if (option.rfind("--loaded-runs=", 0) == 0) {
      loadedRuns = std::atoi(option.c_str() + 14);
    } else {
      argc = 0;  // not understood: the usage below
      break;
    }
  }
  if (argc < 4 || loadedRuns < 1) {
    std::fprintf(stderr,
                 "usage: velmora_sequencer_bench [--loaded-runs=N] TUNE SCRATCH_FOLDER "
                 "SOUNDFONT...\n");
    return 1;
  }
  const char* sink = std::getenv("VELMORA_TEST_SINK");
  if (!sink || !std::getenv("PULSE_SERVER")) {
    std::fprintf(stderr, "run inside tests/desktop_session.sh: no test sink\n");
    return 1;
  }
  const std::string tune = fs::absolute(argv[1]);
  const fs::path scratch = fs::absolute(argv[2]);
  fs::create_directories(scratch);
  unsetenv("VELMORA_AUDIO_DRIVER");

  SinkMonitor monitor(sink);
  if (!monitor.Started() || !monitor.WaitUntilLive(5s)) {
    std::fprintf(stderr, "parec could not record %s.monitor\n", sink);
    return 1;
  }
  std::this_thread::sleep_for(500ms);
  std::vector<SoundFontSummary> soundFonts;
  for (int i = 3; i < argc; ++i)
    soundFonts.push_back(BenchSoundFont(monitor, fs::absolute(argv[i]), tune, scratch));
  // The summary's runs use the SoundFont the player uses when FluidR3 is not installed.
  const std::string soundFont = fs::absolute(argv[3]);
  setenv("VELMORA_SOUNDFONT", soundFont.c_str(), 1);
  const RandomStops randomStops = StopAtRandom(monitor, tune);
  PrintSummary(soundFonts, randomStops, BenchUnderruns(tune, loadedRuns), soundFont);
  return 0;
}
