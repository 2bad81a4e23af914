// The window operations of the closing slide against the real X window, and the whole closing
// sequence run in a child process, since it ends the process it runs in.
#include <gtest/gtest.h>  // before X11, whose macros None and Bool clash with it

#include <FL/Fl.H>
#include <FL/x.H>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "tests/window_test_support.h"

namespace velmora::testing {
namespace {

using platform::WindowMetric;

TEST_F(RealWindowTest, MetricsMoveAndResizeTheWindowOnTheScreenAtOnce) {
  ShowAndWait(events);
  ASSERT_TRUE(window->SetWindowMetric(WindowMetric::Left, 1500));
  ASSERT_TRUE(window->SetWindowMetric(WindowMetric::Top, 3000));
  ASSERT_TRUE(window->SetWindowMetric(WindowMetric::Width, 1500));
  ASSERT_TRUE(window->SetWindowMetric(WindowMetric::Height, 600));
  // Asked of the server straight away: no event was handled after the writes.
  const ScreenRect onScreen = ScreenRectOf(window->window());
  EXPECT_EQ(onScreen.x, 100);
  EXPECT_EQ(onScreen.y, 200);
  EXPECT_EQ(onScreen.w, 100);
  EXPECT_EQ(onScreen.h, 40);
  EXPECT_FLOAT_EQ(*window->GetWindowMetric(WindowMetric::Left), 1500);
  EXPECT_FLOAT_EQ(*window->GetWindowMetric(WindowMetric::Top), 3000);
  EXPECT_FLOAT_EQ(*window->GetWindowMetric(WindowMetric::Width), 1500);
  EXPECT_FLOAT_EQ(*window->GetWindowMetric(WindowMetric::Height), 600);
  // The window is clipped, its controls are not squeezed.
  EXPECT_EQ(Widget(ControlId::CmdGetMidFile).w(), 161);

  EXPECT_FALSE(window->SetWindowMetric(WindowMetric::Width, 7)) << "under one pixel";
  EXPECT_FALSE(window->SetWindowMetric(WindowMetric::Height, -60));
  EXPECT_TRUE(window->SetWindowMetric(WindowMetric::Width, 15));
  EXPECT_EQ(ScreenRectOf(window->window()).w, 1);
}

TEST_F(RealWindowTest, AMinimisedWindowCannotBeMovedButCanBeRead) {
  ShowAndWait(events);
  // What a window manager does to a window it minimises.
  XUnmapWindow(fl_display, fl_xid(&window->window()));
  ASSERT_TRUE(WaitFor([&] { return !window->window().visible(); }));
  EXPECT_TRUE(window->GetWindowMetric(WindowMetric::Top).has_value());
  EXPECT_FALSE(window->SetWindowMetric(WindowMetric::Top, 3000));
  EXPECT_FALSE(window->SetWindowMetric(WindowMetric::Width, 1500));
}

// Passes the real window's answers through, and on EndProgram writes how the slide went to the
// file named by VELMORA_SLIDE_REPORT before the real window ends the process.
class WatchedWindow : public ForwardingWindow {
 public:
  using ForwardingWindow::ForwardingWindow;

  std::optional<float> GetWindowMetric(WindowMetric metric) override {
    if (!started_) start_ = std::chrono::steady_clock::now();
    started_ = true;
    return real_.GetWindowMetric(metric);
  }
  bool SetWindowMetric(WindowMetric metric, float twips) override {
    if (metric == WindowMetric::Top) ++passes_;
    return real_.SetWindowMetric(metric, twips);
  }

  [[noreturn]] void EndProgram() override {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    const auto top = real_.GetWindowMetric(WindowMetric::Top);
    const auto width = real_.ScreenWidth();
    if (const char* report = std::getenv("VELMORA_SLIDE_REPORT")) {
      std::ofstream(report) << took.count() << ' ' << passes_ << '\n';
    }
    if (!top || !width || *top <= *width) std::_Exit(3);  // ended before the top passed the width
    real_.EndProgram();
    std::_Exit(6);  // not reached: the real window has ended the process
  }

 private:
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
  int passes_ = 0;
};

[[noreturn]] void CloseTheRealWindow() {
  posix::FltkWindow real;
  fake::FakePlatform fake;
  fake.separator = '/';
  WatchedWindow watched(real);
  Form1 form(platform::Platform{watched, fake, fake, fake});
  real.Show(form);
  if (!WaitUntilViewable(real.window())) std::_Exit(5);
  SendCloseRequest(real.window());
  real.Run();
  std::_Exit(4);  // the loop ended without the program being ended
}

TEST(ClosingOnTheRealWindow, SlidesTheWindowPastTheScreenWidthAndExitsWithCodeZero) {
  if (const std::string why = WhyNoDisplay(); !why.empty()) GTEST_SKIP() << why;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs this test again from its start: it must keep the parent's report file.
  setenv("VELMORA_SLIDE_REPORT", ("/tmp/velmora-slide-" + std::to_string(getpid())).c_str(), 0);
  const char* reportName = std::getenv("VELMORA_SLIDE_REPORT");
  const std::string report = reportName != nullptr ? reportName : "";

  EXPECT_EXIT(CloseTheRealWindow(), ::testing::ExitedWithCode(0), "");

  double seconds = 0;
  int passes = 0;
  std::ifstream(report) >> seconds >> passes;
  std::remove(report.c_str());
  std::printf("closing slide on a 1920-pixel screen: %d passes in %.3f s\n", passes, seconds);
  RecordProperty("slide_seconds", std::to_string(seconds));
  EXPECT_GT(passes, 0);
  EXPECT_LT(seconds, 30.0) << "far beyond the 2 s it should take";
}

}  // namespace
}  // namespace velmora::testing
