// The Linux window as the user sees and drives it: built from the stored design at the display's
// density, status texts that stay readable above an intact notice, the keyboard, and the closing
// slide in real time. Form1 runs behind it with the dialog and the sequencer scripted by the fake.
#include "tests/x11_harness.h"  // first: GoogleTest before X11

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/keysym.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/posix_clock.h"

namespace velmora::testing {
namespace {

constexpr std::uint32_t kGrey = 0xC0C0C0;
using platform::WindowMetric;

// A program ending here would pass for a test that ended well.
struct UnendingWindow : posix::FltkWindow {
  using FltkWindow::FltkWindow;
  [[noreturn]] void EndProgram() override { std::_Exit(9); }
};

struct RealWindow {
  explicit RealWindow(posix::DisplayScale scale = posix::DisplayScale::OfDisplay())
      : window(kForm1Design, scale) {
    fake.separator = '/';
  }
  UnendingWindow window;
  fake::FakePlatform fake;
  Form1 form{{window, fake, fake, fake, fake}};
  Fl_Widget& operator[](ControlId id) { return window.widget(id); }
  bool Shows(ControlId id) { return window.widget(id).visible() != 0; }
};

#define SKIP_WITHOUT_DISPLAY() \
  if (const std::string why = WhyNoDisplay(); !why.empty()) GTEST_SKIP() << why

TEST(LinuxWindow, IsTheStoredDesignInPixelsAtTheDisplaysDensity) {
  SKIP_WITHOUT_DISPLAY();
  RealWindow w;
  ASSERT_TRUE(ShowAndWait(w.window, w.form));
  const ScreenRect frame = ScreenRectOf(w.window.window());
  EXPECT_EQ(std::make_pair(frame.w, frame.h), std::make_pair(178, 155)) << "at 96 DPI";
  const std::map<ControlId, ScreenRect> at96{{ControlId::CmdGetMidFile, {8, 8, 161, 25}},
                                             {ControlId::cmdPlay, {8, 32, 161, 25}},
                                             {ControlId::cmdStop, {8, 56, 161, 25}},
                                             {ControlId::Label1, {8, 88, 161, 57}},
                                             {ControlId::Label2, {0, 136, 177, 17}}};
  for (const auto& [id, r] : at96) {
    const Fl_Widget& widget = w[id];
    EXPECT_EQ(std::vector({widget.x(), widget.y(), widget.w(), widget.h()}),
              std::vector({r.x, r.y, r.w, r.h}))
        << kForm1Design.control(id).name;
  }
  const Screenshot shot = Capture(w.window.window());
  for (const auto& [x, y] : {std::pair{3, 3}, {172, 60}, {14, 20}, {12, 92}, {1, 140}})
    EXPECT_EQ(shot.At(x, y), kGrey) << "at " << x << "," << y;
  const Screenshot button = shot.Crop(8, 8, 161, 25);
  EXPECT_GT(std::count(button.rgb.begin(), button.rgb.end(), 0u), 0) << "its caption in black";
  EXPECT_EQ(Fl::focus(), &w[ControlId::CmdGetMidFile]);

  std::string windowClass;
  Property(w.window.window(), "WM_CLASS", &windowClass);
  EXPECT_EQ(windowClass, std::string("velmora\0Velmora\0", 16)) << "matches StartupWMClass";
  const auto icon = Property(w.window.window(), "_NET_WM_ICON");
  ASSERT_EQ(icon.size(), 2u + 32 * 32);
  EXPECT_GT(std::count_if(icon.begin() + 2, icon.end(),
                          [](auto argb) { return argb >> 24 == 255 && (argb >> 8 & 255) > 128; }),
            0)
      << "green notes";
  EXPECT_GT(std::count_if(icon.begin() + 2, icon.end(), [](auto argb) { return argb >> 24 == 0; }),
            0)
      << "on a clear ground";

  RealWindow dense(posix::DisplayScale{144, 144});
  EXPECT_EQ(std::make_pair(dense.window.window().w(), dense.window.window().h()),
            std::make_pair(267, 233));
  EXPECT_EQ(dense[ControlId::CmdGetMidFile].labelsize(), 21) << "the font keeps its size";
}

// Every text the status line can show stays in the part of Label1 above the notice, at the
// window's own font size and whole; nothing else on the window changes, the notice included.
void ExpectStatusReadable(RealWindow& w, const std::string& caption) {
  SCOPED_TRACE(caption);
  const Fl_Widget& label = w[ControlId::Label1];
  const int freeHeight = w[ControlId::Label2].y() - label.y();
  w.window.SetCaption(ControlId::Label1, "");
  Settle();
  const Screenshot before = Capture(w.window.window());
  w.window.SetCaption(ControlId::Label1, caption);
  Settle();
  const Screenshot after = Capture(w.window.window());
  const Screenshot drawn = Drawn(label, freeHeight, posix::LabelText(caption));
  int changedOutside = 0, differentInside = 0, inkOnTheEdge = 0;
  for (int y = 0; y < after.h; ++y) {
    for (int x = 0; x < after.w; ++x) {
      const int lx = x - label.x(), ly = y - label.y();
      if (lx < 0 || ly < 0 || lx >= label.w() || ly >= freeHeight) {
        changedOutside += after.At(x, y) != before.At(x, y);
        continue;
      }
      differentInside += after.At(x, y) != drawn.At(lx, ly);
      const bool edge = lx == 0 || ly == 0 || lx == label.w() - 1 || ly == freeHeight - 1;
      inkOnTheEdge += edge && drawn.At(lx, ly) != kGrey;
    }
  }
  EXPECT_EQ(changedOutside, 0) << "drawn outside Label1 or over the notice";
  EXPECT_EQ(differentInside, 0) << "not the text at the window's font size";
  EXPECT_EQ(inkOnTheEdge, 0) << "the text does not fit above the notice";
}

TEST(LinuxWindow, StatusTextsStayReadableAboveTheWholeNoticeAt96And144Dpi) {
  SKIP_WITHOUT_DISPLAY();
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nvelmora-demo.mid", ""};
  for (platform::MciError code = 256; code < 512; ++code) {
    const std::string_view text = posix::mci_error::Text(code);
    if (!text.empty()) captions.push_back("open: " + std::string(text));
  }
  for (const float dpi : {96.0f, 144.0f}) {
    RealWindow w(posix::DisplayScale{dpi, dpi});
    ASSERT_TRUE(ShowAndWait(w.window, w.form));
    const Fl_Widget& notice = w[ControlId::Label2];
    const Screenshot strip = Capture(w.window.window()).Crop(0, notice.y(), notice.w(), notice.h());
    EXPECT_GT(std::count(strip.rgb.begin(), strip.rgb.end(), 0u), 0) << "the notice shows";
    for (const std::string& caption : captions) ExpectStatusReadable(w, caption);
  }
}

TEST(LinuxWindow, TheKeyboardAloneChoosesPlaysAndStopsAndEscapeDoesNotClose) {
  SKIP_WITHOUT_DISPLAY();
  RealWindow w;
  ASSERT_TRUE(ShowAndWait(w.window, w.form));
  w.fake.shortPaths["/tmp/@x&y.mid"] = "/tmp/@x&y.mid";
  w.fake.dialogAnswers.push_back(fake::FakePlatform::Choose("/tmp/@x&y.mid"));
  PressKey(XK_Tab);  // nowhere else to go while one button is visible
  PressKey(XK_Escape);
  PressKey(XK_space);
  ASSERT_TRUE(WaitFor([&] { return w.Shows(ControlId::cmdPlay); })) << "Space on Get Mid File";
  PressKey(XK_space);
  ASSERT_TRUE(WaitFor([&] { return w.Shows(ControlId::cmdStop); })) << "Space on Play";
  // '@' and '&' shown as they are, not as FLTK's symbol and shortcut marks.
  const Fl_Widget& label = w[ControlId::Label1];
  const Screenshot drawn =
      Drawn(label, w[ControlId::Label2].y() - label.y(), "Now Playing \n@@x&y.mid");
  EXPECT_EQ(Capture(w.window.window()).Crop(label.x(), label.y(), drawn.w, drawn.h).rgb, drawn.rgb);
  PressKey(XK_Return);
  ASSERT_TRUE(WaitFor([&] { return w.Shows(ControlId::CmdGetMidFile); })) << "Enter on Stop";
  EXPECT_TRUE(w.window.window().shown()) << "Escape closed the window";
  EXPECT_EQ(Fl::focus(), &w[ControlId::CmdGetMidFile]);
}

// Passes the real window through, noting when each pass reached the screen; at the end of the
// program it exits with 0 only if the slide went past the screen's width in the time allowed.
class TimedWindow : public posix::FltkWindow {
 public:
  TimedWindow(double shortest, double longest) : shortest_(shortest), longest_(longest) {}
  void UpdateScreen() override {
    FltkWindow::UpdateScreen();
    passes_.push_back(clock_.Now());
  }
  [[noreturn]] void EndProgram() override {
    const double took = std::chrono::duration<double>(passes_.back() - passes_.front()).count();
    std::printf("slide: %zu passes in %.3f s\n", passes_.size(), took);
    std::fflush(stdout);
    std::_Exit(took >= shortest_ && took <= longest_ ? 0 : 3);
  }

 private:
  posix::PosixClock clock_;
  std::vector<platform::Clock::Duration> passes_;
  double shortest_, longest_;
};

int CloseInAChild(bool minimised, double shortest, double longest) {
  const pid_t child = fork();
  if (child == 0) {
    TimedWindow window(shortest, longest);
    fake::FakePlatform fake;
    posix::PosixClock clock;
    Form1 form({window, fake, fake, fake, clock});
    if (!ShowAndWait(window, form)) std::_Exit(4);
    if (minimised) XUnmapWindow(fl_display, fl_xid(&window.window()));  // as a window manager does
    SendCloseRequest(window.window());
    Fl::run();
    std::_Exit(5);  // the loop ended without the program being ended
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LinuxWindow, ClosingSlidesAcrossTheScreenInAboutASecondOrEndsAtOnceWhenItCannotMove) {
  SKIP_WITHOUT_DISPLAY();
  EXPECT_EQ(CloseInAChild(false, 0.5, 2.0), 0) << "3: too fast or too slow";
  EXPECT_EQ(CloseInAChild(true, 0.0, 0.1), 0) << "3: a window that cannot move did not end at once";
}

}  // namespace
}  // namespace velmora::testing
