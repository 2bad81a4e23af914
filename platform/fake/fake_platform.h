#pragma once
// A platform that draws nothing and plays nothing: it records every call in order and answers from
// a script, so the program's own code runs headless and tests can check what it asked for.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmora::fake {

// Thrown by EndProgram: the program's code never continues after it.
struct ProgramEnded : std::runtime_error {
  ProgramEnded() : std::runtime_error("program ended") {}
};

class FakePlatform : public platform::WindowSystem,
                     public platform::OpenFileDialog,
                     public platform::Mci,
                     public platform::FileSystem,
                     public platform::Clock,
                     public platform::NowPlaying {
 public:
  using DialogAnswer = std::function<bool(platform::OpenFileName&)>;
  using Metric = platform::WindowMetric;

  FakePlatform();
  platform::Platform host() { return {*this, *this, *this, *this, *this, this}; }

  // Every call, in order, one line each ("SetCaption Label1 Please Wait", "SendString play …").
  std::vector<std::string> calls;

  // Window: the design's captions and visible flags, then whatever the program set; the window's
  // place and size, the screen, and what the window system refuses or holds.
  std::map<ControlId, std::string> captions;
  std::map<ControlId, bool> visible;
  std::map<Metric, float> metrics{
      {Metric::Left, 1500}, {Metric::Top, 1500}, {Metric::Width, 2760}, {Metric::Height, 2730}};
  float screenWidth = 1920 * 15, minimumSize = 0;
  std::map<Metric, bool> rejectWrites;
  bool failReads = false, refuseUpdates = false;
  std::deque<std::function<void()>> pendingEvents;  // run by the next ProcessPendingEvents
  Duration now{}, writeCost{};                      // the clock moves by sleeps and by writes
  std::vector<Duration> screenUpdates;              // the clock at each UpdateScreen

  // Dialog: the next answers, in order; with none left the dialog is cancelled.
  std::deque<DialogAnswer> dialogAnswers;
  static DialogAnswer Choose(const std::string& path);
  std::deque<std::function<void()>> whileDialogOpen;  // events run by the dialog's own loop

  // Now-playing controls: each report as "PATH playing|stopped", kept apart from the calls.
  std::vector<std::string> nowPlaying;

  // MCI: the answer to each command (0 when unscripted); the text of code N is "error N. …".
  std::function<platform::MciError(const std::string&)> mciAnswer;

  // Kernel: short forms by long path (none: the file does not exist), current folder, separator.
  std::map<std::string, std::string> shortPaths;
  std::string currentDirectory = "C:\\Music";
  char separator = '\\';
  bool shiftJis = false;  // paths in code page 932: bytes 81-9F and E0-FC lead a two-byte character

  void SetCaption(ControlId control, std::string_view text) override;
  void SetVisible(ControlId control, bool isVisible) override;
  std::optional<float> GetWindowMetric(Metric metric) override;
  bool SetWindowMetric(Metric metric, float twips) override;
  std::optional<float> ScreenWidth() override {
    return calls.push_back("ScreenWidth"), failReads ? std::nullopt : std::optional(screenWidth);
  }
  platform::InstanceHandle ModuleInstance() override { return 0x400000; }
  bool UpdateScreen() override {
    return calls.push_back("UpdateScreen"), screenUpdates.push_back(now), !refuseUpdates;
  }
  void ProcessPendingEvents() override;
  [[noreturn]] void EndProgram() override { calls.push_back("EndProgram"), throw ProgramEnded(); }
  bool GetOpenFileName(platform::OpenFileName& request) override;
  platform::MciError SendString(const std::string& command) override {
    calls.push_back("SendString " + command);
    return mciAnswer ? mciAnswer(command) : platform::kMciOk;
  }
  bool GetErrorString(platform::MciError code, std::span<char> buffer) override;
  std::uint32_t GetShortPathName(const std::string& longPath, std::span<char> buffer) override;
  std::string GetCurrentDirectory() override {
    return calls.push_back("GetCurrentDirectory"), currentDirectory;
  }
  char PathSeparator() const override { return separator; }
  std::size_t TitleStart(std::string_view path) const override;
  Duration Now() override { return now; }
  void SleepUntil(Duration when) override { now = std::max(now, when); }
  void Changed(const platform::PieceState& state) override {
    nowPlaying.push_back(std::string(state.file) + (state.playing ? " playing" : " stopped"));
  }
};

}  // namespace velmora::fake
