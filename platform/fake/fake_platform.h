#pragma once
// A platform that draws nothing and plays nothing: it records every call in order and answers from
// a script, so the program's own code runs headless and tests can check what it asked for.

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
                     public platform::FileSystem {
 public:
  FakePlatform();
  platform::Platform host() { return {*this, *this, *this, *this}; }

  // Every call, in order, as one line each ("SetCaption Label1 Please Wait", "SendString play …").
  std::vector<std::string> calls;
  std::vector<std::string> callsStartingWith(const std::string& prefix) const;

  // Window: the design's captions and visible flags, then whatever the program set.
  std::map<ControlId, std::string> captions;
  std::map<ControlId, bool> visible;
  std::map<platform::WindowMetric, float> metrics;
  float screenWidth = 1920 * 15;
  std::map<platform::WindowMetric, bool> rejectWrites;  // writes that the window system refuses
  bool failReads = false;
  float minimumSize = 0;                            // width/height below this are held at it
  std::deque<std::function<void()>> pendingEvents;  // run by the next ProcessPendingEvents

  // Dialog: the next answers, in order; with none left the dialog is cancelled.
  std::deque<std::function<bool(platform::OpenFileName&)>> dialogAnswers;
  std::vector<platform::OpenFileName> dialogRequests;
  static std::function<bool(platform::OpenFileName&)> Choose(const std::string& path);

  // MCI: the answer to each command (0 when unscripted) and the text of each code.
  std::function<platform::MciError(const std::string&)> mciAnswer;
  std::string errorTextFor(platform::MciError code) const;

  // Kernel: short forms by long path (none: the file does not exist), current directory, separator.
  std::map<std::string, std::string> shortPaths;
  std::string currentDirectory = "C:\\Music";
  char separator = '\\';

  // platform::WindowSystem
  void SetCaption(ControlId control, std::string_view text) override;
  void SetVisible(ControlId control, bool isVisible) override;
  std::optional<float> GetWindowMetric(platform::WindowMetric metric) override;
  bool SetWindowMetric(platform::WindowMetric metric, float twips) override;
  std::optional<float> ScreenWidth() override;
  platform::InstanceHandle ModuleInstance() override { return 0x400000; }
  void ProcessPendingEvents() override;
  [[noreturn]] void EndProgram() override;

  // platform::OpenFileDialog
  bool GetOpenFileName(platform::OpenFileName& request) override;

  // platform::Mci
  platform::MciError SendString(const std::string& command) override;
  bool GetErrorString(platform::MciError code, std::span<char> buffer) override;

  // platform::FileSystem
  std::uint32_t GetShortPathName(const std::string& longPath, std::span<char> buffer) override;
  std::string GetCurrentDirectory() override;
  char PathSeparator() const override { return separator; }
};

std::string_view NameOf(ControlId control);
std::string_view NameOf(platform::WindowMetric metric);

}  // namespace velmora::fake
