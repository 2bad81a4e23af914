// The whole use on Linux with the real window, the real sequencer layer and the private sound
// server: Get Mid File, Play, Stop, a file that is not MIDI, and closing while the music plays.
#include <gtest/gtest.h>  // before X11, whose macros clash with it

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/posix_file_system.h"
#include "tests/midi_fixtures.h"
#include "tests/sink_monitor.h"
#include "tests/window_test_support.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::WindowMetric;

const fs::path kTune = fs::path(VELMORA_SOURCE_DIR) / "resources" / "demo" / "velmora-demo.mid";

// The real window, watched: what Label1 showed on the screen whenever pending events were
// processed, when the first window metric was written, and a check run just before the program
// ends.
class WatchedWindow : public ForwardingWindow {
 public:
  using ForwardingWindow::ForwardingWindow;

  std::vector<std::string> labelsWhenEventsRan;
  std::optional<Clock::time_point> firstMetricWrite;
  std::function<int()> beforeEnd;  // exit code for the child: 0 when all was as it should be

  bool SetWindowMetric(WindowMetric metric, float twips) override {
    if (!firstMetricWrite) firstMetricWrite = Clock::now();
    return real_.SetWindowMetric(metric, twips);
  }
  void ProcessPendingEvents() override {
    real_.ProcessPendingEvents();
    Fl_Widget& label = real_.widget(ControlId::Label1);
    const bool painted = AboveLabel2(label, PixelsOf(label)) ==
                         AboveLabel2(label, ReferencePixels(label, label.label()));
    labelsWhenEventsRan.push_back(std::string(label.label()) + (painted ? "" : " (not painted)"));
  }
  [[noreturn]] void EndProgram() override {
    if (beforeEnd) {
      if (const int code = beforeEnd(); code != 0) std::_Exit(code);
    }
    real_.EndProgram();
    std::_Exit(18);  // not reached: the real window ends the process
  }
};

struct Desktop {
  posix::FltkWindow real;
  WatchedWindow window{real};
  fake::FakePlatform dialog;  // answers the open dialog from a script
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  Form1 form{platform::Platform{window, dialog, mci, files, dialog}};

  bool Shows(ControlId control) { return real.widget(control).visible(); }
  std::string Label() { return real.widget(ControlId::Label1).label(); }

  bool Start() {
    real.Show(form);
    return WaitUntilViewable(real.window());
  }
  bool ChooseWithTheMouse(const fs::path& file) {
    dialog.dialogAnswers.push_back(fake::FakePlatform::Choose(file.string()));
    ClickAt(real.widget(ControlId::CmdGetMidFile));
    return WaitFor([&] { return Shows(ControlId::cmdPlay); });
  }
};

std::string WhyNoDesktop() {
  if (std::string why = WhyNoDisplay(); !why.empty()) return why;
  if (!std::getenv("PULSE_SERVER") || !std::getenv("VELMORA_TEST_SINK")) {
    return "needs the private sound server of tests/desktop_session.sh";
  }
  return "";
}

TEST(WholeUse, ChoosePlayHearStopAndAFileThatIsNotMidi) {
  if (const std::string why = WhyNoDesktop(); !why.empty()) GTEST_SKIP() << why;
  SinkMonitor sink(std::getenv("VELMORA_TEST_SINK"));
  ASSERT_TRUE(sink.Started() && sink.WaitUntilLive(5s));
  Desktop desktop;
  ASSERT_TRUE(desktop.Start());

  ASSERT_TRUE(desktop.ChooseWithTheMouse(kTune));
  EXPECT_FALSE(desktop.Shows(ControlId::CmdGetMidFile));
  const auto played = Clock::now();
  ClickAt(desktop.real.widget(ControlId::cmdPlay));
  ASSERT_TRUE(WaitFor([&] { return desktop.Shows(ControlId::cmdStop); }));
  EXPECT_EQ(desktop.window.labelsWhenEventsRan, std::vector<std::string>{"Please Wait"})
      << "Please Wait is on the screen while the device opens";
  EXPECT_EQ(desktop.Label(), "Now Playing \nvelmora-demo.mid");
  EXPECT_FALSE(desktop.Shows(ControlId::cmdPlay));
  ASSERT_TRUE(WaitFor([&] { return sink.FirstSoundAfter(played).has_value(); }, 3.0))
      << "no sound on the sink after Play";

  ClickAt(desktop.real.widget(ControlId::cmdStop));
  ASSERT_TRUE(WaitFor([&] { return desktop.Shows(ControlId::CmdGetMidFile); }));
  const auto stopped = Clock::now();
  EXPECT_EQ(desktop.Label(), "");
  EXPECT_FALSE(desktop.Shows(ControlId::cmdStop));
  EXPECT_FALSE(desktop.Shows(ControlId::cmdPlay));
  WaitFor([] { return false; }, 0.8);
  EXPECT_LE(sink.PeakBetween(stopped + 300ms, Clock::now()), SinkMonitor::kSilence)
      << "still sounding after Stop";

  TempFolder folder;
  const fs::path text = folder.Write("notes.mid", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  ASSERT_TRUE(desktop.ChooseWithTheMouse(text));
  ClickAt(desktop.real.widget(ControlId::cmdPlay));
  ASSERT_TRUE(WaitFor([&] { return desktop.Shows(ControlId::CmdGetMidFile); }));
  EXPECT_EQ(desktop.Label().rfind("open: ", 0), 0u) << desktop.Label();
  EXPECT_GT(desktop.Label().size(), 6u);
  EXPECT_FALSE(desktop.Shows(ControlId::cmdStop));
}

// In a child process, since closing ends the process: the music stops before the window moves,
// and the program exits with code 0 after the slide.
[[noreturn]] void CloseWhilePlaying() {
  SinkMonitor sink(std::getenv("VELMORA_TEST_SINK"));
  if (!sink.Started() || !sink.WaitUntilLive(5s)) std::_Exit(10);
  Desktop desktop;
  if (!desktop.Start()) std::_Exit(11);
  if (!desktop.ChooseWithTheMouse(kTune)) std::_Exit(12);
  const auto played = Clock::now();
  ClickAt(desktop.real.widget(ControlId::cmdPlay));
  if (!WaitFor([&] { return sink.FirstSoundAfter(played).has_value(); }, 3.0)) std::_Exit(13);

  desktop.window.beforeEnd = [&] {
    if (!desktop.window.firstMetricWrite) return 14;
    if (desktop.mci.SendString("close mcitest") == platform::kMciOk) return 15;  // still open
    // What was already in the sound server's buffer drains; nothing after that.
    const auto quietFrom = *desktop.window.firstMetricWrite + 300ms;
    if (Clock::now() < quietFrom + 200ms) std::this_thread::sleep_until(quietFrom + 200ms);
    if (sink.PeakBetween(quietFrom, Clock::now()) > SinkMonitor::kSilence) return 16;
    return 0;
  };
  SendCloseRequest(desktop.real.window());
  desktop.real.Run();
  std::_Exit(17);  // the loop ended without the program being ended
}

TEST(WholeUse, ClosingWhilePlayingStopsTheMusicBeforeTheSlideAndExits) {
  if (const std::string why = WhyNoDesktop(); !why.empty()) GTEST_SKIP() << why;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CloseWhilePlaying(), ::testing::ExitedWithCode(0), "")
      << "10-13: could not start playing; 14: never moved; 15: device left open; 16: sound "
         "during the slide; 17: not ended";
}

}  // namespace
}  // namespace velmora::testing
