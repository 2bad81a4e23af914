// The Linux desktop as the user sees, hears and drives it: the window built from the stored design
// at the display's density, status texts that stay readable above an intact notice, the keyboard
// alone choosing, playing (heard on the sound server) and stopping, and the closing slide in real
// time. Form1 runs behind the real window and the real Linux layer; the dialog is the fake's.
#include "tests/linux_desktop.h"  // first: GoogleTest before X11

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = SinkRecording::Clock;
constexpr std::uint32_t kGrey = 0xC0C0C0;

// The real window, watched: what Label1 showed whenever pending events had run, when each closing
// pass reached the screen, and at the program's end a check whose result is the exit code (the
// program ending here would otherwise pass for a test that went well).
struct TestWindow : posix::FltkWindow {
  using FltkWindow::FltkWindow;
  Screenshot labelWhenEventsRan;
  std::vector<Clock::time_point> passes;
  std::function<int()> atEnd = [] { return 9; };
  void ProcessPendingEvents() override {
    FltkWindow::ProcessPendingEvents();
    labelWhenEventsRan = Label1("").first;
  }
  void UpdateScreen() override { FltkWindow::UpdateScreen(), passes.push_back(Clock::now()); }
  [[noreturn]] void EndProgram() override { std::_Exit(atEnd()); }
  int FreeHeight() { return widget(ControlId::Label2).y() - widget(ControlId::Label1).y(); }
  // What Label1 shows above the notice, and the text as FLTK draws it there.
  std::pair<Screenshot, Screenshot> Label1(const std::string& text) {
    const Fl_Widget& label = widget(ControlId::Label1);
    return {Capture(window()).Crop(label.x(), label.y(), label.w(), FreeHeight()),
            Drawn(label, FreeHeight(), posix::LabelText(text))};
  }
};

struct RealWindow {
  explicit RealWindow(posix::DisplayScale scale = posix::DisplayScale::OfDisplay())
      : window(kForm1Design, scale) {}
  TestWindow window;
  fake::FakePlatform dialog;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form{{window, dialog, mci, files, clock}};
  Fl_Widget& operator[](ControlId id) { return window.widget(id); }
  // A key on the focused button, and the button it shows.
  bool Press(unsigned long key, ControlId shownAfter) {
    PressKey(key);
    return WaitFor([&] { return window.widget(shownAfter).visible() != 0; });
  }
  bool ChooseAndPlay(const fs::path& file, ControlId shownAfter = ControlId::cmdStop) {
    dialog.dialogAnswers.push_back(fake::FakePlatform::Choose(file));
    return Press(XK_space, ControlId::cmdPlay) && Press(XK_space, shownAfter);
  }
};

// Blanks, quotes, '&', '@' and UTF-8, in a folder deep enough that the short form does not fit
// the program's first 67-character buffer.
struct TestFiles {
  fs::path folder =
      fs::temp_directory_path() / ("velmora " + std::to_string(getpid())) / std::string(60, 'd');
  fs::path tune = folder / "a 'b' \"c\" & ü @d.mid", notMidi = folder / "notes.mid";
  TestFiles() {
    fs::create_directories(folder);
    fs::copy_file(fs::path(VELMORA_SOURCE_DIR) / "resources/demo/velmora-demo.mid", tune);
    std::ofstream(notMidi) << "notes, not a tune";
  }
  ~TestFiles() { fs::remove_all(folder.parent_path()); }
};

#define SKIP_WITHOUT_DESKTOP(sound) \
  if (const std::string why = WhyNoDesktop(sound); !why.empty()) GTEST_SKIP() << why

// The window as stored, and every text the status line can show staying in the part of Label1
// above the notice, at the window's own font size and whole; nothing else on the window changes,
// the notice included.
TEST(LinuxWindow, IsTheDesignAndItsStatusTextsStayReadableAboveTheWholeNoticeAt96And144Dpi) {
  SKIP_WITHOUT_DESKTOP(false);
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nvelmora-demo.mid", "",
                                    "open: too large to play: 1234 MB"};
  for (platform::MciError code = 256; code < 512; ++code) {  // 264 is shown with its size only
    const std::string_view text = posix::mci_error::Text(code);
    if (!text.empty() && code != 264) captions.push_back("open: " + std::string(text));
  }
  for (const float dpi : {96.0f, 144.0f}) {
    RealWindow w(posix::DisplayScale{dpi, dpi});
    ASSERT_TRUE(ShowAndWait(w.window, w.form));
    const Fl_Widget& label = w[ControlId::Label1];
    const int freeHeight = w.window.FreeHeight();
    const Screenshot before = Capture(w.window.window());
    // The stored design in the display's pixels, on the form's grey, the default font's size kept.
    const auto px = [&](int twips) { return static_cast<int>(std::lround(twips * dpi / 1440)); };
    EXPECT_EQ(std::vector({before.w, before.h}), std::vector({px(2670), px(2325)}));
    for (const ControlDesign& c : kForm1Design.controls) {
      const Fl_Widget& widget = w[c.id];
      EXPECT_EQ(
          std::vector({widget.x(), widget.y(), widget.w(), widget.h(), int{widget.visible() != 0}}),
          std::vector({px(c.left), px(c.top), px(c.width), px(c.height), int{c.visible}}));
    }
    for (const auto& [x, y] : {std::pair{45, 45}, {2580, 900}, {210, 300}, {180, 1380}, {15, 2100}})
      EXPECT_EQ(before.At(px(x), px(y)), kGrey) << x << "," << y << " twips";
    const Screenshot button = before.Crop(label.x(), px(120), label.w(), px(375));
    EXPECT_GT(std::count(button.rgb.begin(), button.rgb.end(), 0u), 0) << "its caption in black";
    EXPECT_EQ(w[ControlId::CmdGetMidFile].labelsize(), px(210)) << "the font keeps its size";
    EXPECT_EQ(Fl::focus(), &w[ControlId::CmdGetMidFile]);
    const Screenshot notice =
        before.Crop(0, label.y() + freeHeight, before.w, w[ControlId::Label2].h());
    EXPECT_GT(std::count(notice.rgb.begin(), notice.rgb.end(), 0u), 0) << "the notice shows";
    for (const std::string& caption : captions) {
      w.window.SetCaption(ControlId::Label1, caption);
      Settle();
      const Screenshot after = Capture(w.window.window());
      const auto [shown, drawn] = w.window.Label1(caption);
      int changedOutside = 0, inkOnTheEdge = 0;
      for (int y = 0; y < after.h; ++y) {
        for (int x = 0; x < after.w; ++x) {
          const int lx = x - label.x(), ly = y - label.y();
          const bool inside = lx >= 0 && ly >= 0 && lx < label.w() && ly < freeHeight;
          const bool edge = lx == 0 || ly == 0 || lx == label.w() - 1 || ly == freeHeight - 1;
          changedOutside += !inside && after.At(x, y) != before.At(x, y);
          inkOnTheEdge += inside && edge && drawn.At(lx, ly) != kGrey;
        }
      }
      EXPECT_EQ(changedOutside, 0) << caption << ": drawn outside Label1 or over the notice";
      EXPECT_EQ(shown.rgb, drawn.rgb) << caption << ": not the text at the window's font size";
      EXPECT_EQ(inkOnTheEdge, 0) << caption << ": does not fit above the notice";
    }
  }
}

TEST(LinuxDesktop, TheKeyboardChoosesAndPlaysWhatIsHeardUntilStopAndAFileThatIsNotMidiSaysSo) {
  SKIP_WITHOUT_DESKTOP(true);
  SinkRecording sink;
  TestFiles files;
  RealWindow w;
  ASSERT_TRUE(ShowAndWait(w.window, w.form));
  PressKey(XK_Tab);     // nowhere else to go while one button is visible
  PressKey(XK_Escape);  // a Windows window does not close on Escape: the program would end
  const Clock::time_point played = Clock::now();
  ASSERT_TRUE(w.ChooseAndPlay(files.tune)) << "Space on the focused Get Mid File, then on Play";
  EXPECT_EQ(w.window.labelWhenEventsRan.rgb, w.window.Label1("Please Wait").second.rgb)
      << "Please Wait is on the screen while the device opens";
  const auto [shown, drawn] = w.window.Label1("Now Playing \r\n" + files.tune.filename().string());
  EXPECT_EQ(shown.rgb, drawn.rgb) << "'@' and '&' shown as they are";
  EXPECT_TRUE(WaitFor([&] { return sink.Peak(played, Clock::now()) > 1000; }, 3)) << "no sound";

  ASSERT_TRUE(w.Press(XK_Return, ControlId::CmdGetMidFile)) << "Enter on Stop";
  const Clock::time_point stopped = Clock::now();
  WaitFor([] { return false; }, 1.0);
  EXPECT_LE(sink.Peak(stopped + 300ms, Clock::now()), SinkRecording::kSilence)
      << "sound after Stop";
  ASSERT_TRUE(w.ChooseAndPlay(files.notMidi, ControlId::CmdGetMidFile));
  const auto [error, errorDrawn] = w.window.Label1("open: not a MIDI file, or damaged");
  EXPECT_EQ(error.rgb, errorDrawn.rgb);
}

// Closes the window, which ends the process: run as a death test, in a fresh process. Exit code 0:
// the slide took between `shortest` and `longest` seconds and, when a tune was playing, the sink
// was silent from 0.3 s after the window first moved (what the sound server buffered drains first).
[[noreturn]] void Close(bool minimised, bool playing, double shortest, double longest) {
  auto sink = std::make_unique<SinkRecording>();
  TestFiles files;
  RealWindow w;
  w.window.atEnd = [&] {
    const auto& passes = w.window.passes;
    const double took = std::chrono::duration<double>(passes.back() - passes.front()).count();
    std::fprintf(stderr, "slide: %zu passes in %.3f s\n", passes.size(), took);
    const bool quiet = sink->Peak(passes.front() + 300ms, Clock::now()) <= SinkRecording::kSilence;
    sink.reset();  // its recorder is not left running
    return took >= shortest && took <= longest ? (quiet ? 0 : 4) : 3;
  };
  if (!ShowAndWait(w.window, w.form) || (playing && !w.ChooseAndPlay(files.tune))) std::_Exit(5);
  WaitFor([&] { return !playing || sink->Peak(Clock::now() - 1s, Clock::now()) > 1000; });
  if (minimised) XUnmapWindow(fl_display, fl_xid(&w.window.window()));  // as a window manager does
  SendCloseRequest(w.window.window());
  Fl::run();
  std::_Exit(7);  // the loop ended without the program being ended
}

TEST(LinuxDesktop, ClosingSilencesTheMusicThenSlidesAcrossTheScreenInAboutASecond) {
  SKIP_WITHOUT_DESKTOP(true);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Close(false, true, 0.5, 2.0), ::testing::ExitedWithCode(0), "slide")
      << "3: too fast or too slow; 4: sound during the slide; 5, 7: no window or no end";
  EXPECT_EXIT(Close(true, false, 0.0, 0.1), ::testing::ExitedWithCode(0), "slide")
      << "3: a window that cannot move slid on";
}

}  // namespace
}  // namespace velmora::testing
