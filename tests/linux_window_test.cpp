// The Linux desktop as the user sees, hears and drives it: the window built from the stored design
// at the display's density, status texts that stay readable above an intact notice, the keyboard,
// Play and Stop heard on the sound server, and the closing slide in real time. Form1 runs behind
// the real window; the dialog is scripted by the fake platform, the sequencer is the fake's or the
// real Linux layer.
#include "tests/linux_desktop.h"  // first: GoogleTest before X11

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

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
    const Fl_Widget& label = widget(ControlId::Label1);
    labelWhenEventsRan = Capture(window()).Crop(label.x(), label.y(), label.w(), FreeHeight());
  }
  void UpdateScreen() override {
    FltkWindow::UpdateScreen();
    passes.push_back(Clock::now());
  }
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
  explicit RealWindow(posix::DisplayScale scale = posix::DisplayScale::OfDisplay(),
                      bool realSequencer = false)
      : window(kForm1Design, scale),
        form({window, fake, realSequencer ? static_cast<platform::Mci&>(mci) : fake,
              realSequencer ? static_cast<platform::FileSystem&>(files) : fake, clock}) {
    fake.separator = '/';
  }
  TestWindow window;
  fake::FakePlatform fake;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form;
  Fl_Widget& operator[](ControlId id) { return window.widget(id); }
  bool Shows(ControlId id) { return window.widget(id).visible() != 0; }
  bool Choose(const fs::path& file) {
    fake.shortPaths[file] = file;
    fake.dialogAnswers.push_back(fake::FakePlatform::Choose(file));
    ClickAt((*this)[ControlId::CmdGetMidFile]);
    return WaitFor([&] { return Shows(ControlId::cmdPlay); });
  }
  bool Click(ControlId button, ControlId shownAfter) {
    ClickAt((*this)[button]);
    return WaitFor([&] { return Shows(shownAfter); });
  }
};

#define SKIP_WITHOUT_DESKTOP(sound) \
  if (const std::string why = WhyNoDesktop(sound); !why.empty()) GTEST_SKIP() << why

TEST(LinuxWindow, IsTheStoredDesignInPixelsAtTheDisplaysDensity) {
  SKIP_WITHOUT_DESKTOP(false);
  RealWindow w;
  ASSERT_TRUE(ShowAndWait(w.window, w.form));
  EXPECT_EQ(std::make_pair(w.window.window().w(), w.window.window().h()), std::make_pair(178, 155));
  const std::map<ControlId, std::vector<int>> at96{{ControlId::CmdGetMidFile, {8, 8, 161, 25}},
                                                   {ControlId::cmdPlay, {8, 32, 161, 25}},
                                                   {ControlId::cmdStop, {8, 56, 161, 25}},
                                                   {ControlId::Label1, {8, 88, 161, 57}},
                                                   {ControlId::Label2, {0, 136, 177, 17}}};
  for (const auto& [id, r] : at96) {
    const Fl_Widget& widget = w[id];
    EXPECT_EQ(std::vector({widget.x(), widget.y(), widget.w(), widget.h()}), r)
        << kForm1Design.control(id).name;
  }
  const Screenshot shot = Capture(w.window.window());
  for (const auto& [x, y] : {std::pair{3, 3}, {172, 60}, {14, 20}, {12, 92}, {1, 140}})
    EXPECT_EQ(shot.At(x, y), kGrey) << "at " << x << "," << y;
  const Screenshot button = shot.Crop(8, 8, 161, 25);
  EXPECT_GT(std::count(button.rgb.begin(), button.rgb.end(), 0u), 0) << "its caption in black";
  EXPECT_EQ(Fl::focus(), &w[ControlId::CmdGetMidFile]);

  RealWindow dense(posix::DisplayScale{144, 144});
  EXPECT_EQ(std::make_pair(dense.window.window().w(), dense.window.window().h()),
            std::make_pair(267, 233));
  EXPECT_EQ(dense[ControlId::CmdGetMidFile].labelsize(), 21) << "the font keeps its size";
}

// Every text the status line can show stays in the part of Label1 above the notice, at the
// window's own font size and whole; nothing else on the window changes, the notice included.
TEST(LinuxWindow, StatusTextsStayReadableAboveTheWholeNoticeAt96And144Dpi) {
  SKIP_WITHOUT_DESKTOP(false);
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nvelmora-demo.mid", ""};
  for (platform::MciError code = 256; code < 512; ++code) {
    const std::string_view text = posix::mci_error::Text(code);
    // 264 is only ever shown with the file's size.
    if (!text.empty() && code != 264) captions.push_back("open: " + std::string(text));
  }
  captions.push_back("open: too large to play: 1234 MB");
  for (const float dpi : {96.0f, 144.0f}) {
    RealWindow w(posix::DisplayScale{dpi, dpi});
    ASSERT_TRUE(ShowAndWait(w.window, w.form));
    const Fl_Widget& label = w[ControlId::Label1];
    const Screenshot before = Capture(w.window.window());
    const Screenshot notice = before.Crop(0, label.y() + w.window.FreeHeight(), before.w,
                                          before.h - label.y() - w.window.FreeHeight());
    EXPECT_GT(std::count(notice.rgb.begin(), notice.rgb.end(), 0u), 0) << "the notice shows";
    for (const std::string& caption : captions) {
      SCOPED_TRACE(caption);
      w.window.SetCaption(ControlId::Label1, caption);
      Settle();
      const Screenshot after = Capture(w.window.window());
      const auto [shown, drawn] = w.window.Label1(caption);
      int changedOutside = 0, inkOnTheEdge = 0;
      for (int y = 0; y < after.h; ++y) {
        for (int x = 0; x < after.w; ++x) {
          const int lx = x - label.x(), ly = y - label.y();
          const bool inside = lx >= 0 && ly >= 0 && lx < label.w() && ly < drawn.h;
          changedOutside += !inside && after.At(x, y) != before.At(x, y);
          const bool edge = lx == 0 || ly == 0 || lx == label.w() - 1 || ly == drawn.h - 1;
          inkOnTheEdge += inside && edge && drawn.At(lx, ly) != kGrey;
        }
      }
      EXPECT_EQ(changedOutside, 0) << "drawn outside Label1 or over the notice";
      EXPECT_EQ(shown.rgb, drawn.rgb) << "not the text at the window's font size";
      EXPECT_EQ(inkOnTheEdge, 0) << "the text does not fit above the notice";
    }
  }
}

TEST(LinuxWindow, TheKeyboardAloneChoosesPlaysAndStopsAndEscapeDoesNotClose) {
  SKIP_WITHOUT_DESKTOP(false);
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
  const auto [shown, drawn] = w.window.Label1("Now Playing \r\n@x&y.mid");
  EXPECT_EQ(shown.rgb, drawn.rgb) << "'@' and '&' shown as they are";
  PressKey(XK_Return);
  ASSERT_TRUE(WaitFor([&] { return w.Shows(ControlId::CmdGetMidFile); })) << "Enter on Stop";
  EXPECT_EQ(Fl::focus(), &w[ControlId::CmdGetMidFile]);
}

struct TestFiles {
  // Blanks, quotes, '&', '@' and UTF-8, in a folder deep enough that the short form does not fit
  // the program's first 67-character buffer.
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

TEST(LinuxDesktop, PlayPaintsPleaseWaitThenSoundsStopSilencesAndAFileThatIsNotMidiSaysSo) {
  SKIP_WITHOUT_DESKTOP(true);
  SinkRecording sink;
  TestFiles files;
  RealWindow w(posix::DisplayScale::OfDisplay(), true);
  ASSERT_TRUE(ShowAndWait(w.window, w.form));
  ASSERT_TRUE(w.Choose(files.tune));
  const Clock::time_point played = Clock::now();
  ASSERT_TRUE(w.Click(ControlId::cmdPlay, ControlId::cmdStop));
  EXPECT_EQ(w.window.labelWhenEventsRan.rgb, w.window.Label1("Please Wait").second.rgb)
      << "Please Wait is on the screen while the device opens";
  const auto [shown, drawn] = w.window.Label1("Now Playing \r\n" + files.tune.filename().string());
  EXPECT_EQ(shown.rgb, drawn.rgb);
  EXPECT_TRUE(WaitFor([&] { return sink.Peak(played, Clock::now()) > 1000; }, 3)) << "no sound";

  ASSERT_TRUE(w.Click(ControlId::cmdStop, ControlId::CmdGetMidFile));
  const Clock::time_point stopped = Clock::now();
  WaitFor([] { return false; }, 1.0);
  EXPECT_LE(sink.Peak(stopped + 300ms, Clock::now()), SinkRecording::kSilence)
      << "sound after Stop";

  ASSERT_TRUE(w.Choose(files.notMidi));
  ASSERT_TRUE(w.Click(ControlId::cmdPlay, ControlId::CmdGetMidFile));
  const auto [error, errorDrawn] = w.window.Label1("open: not a MIDI file, or damaged");
  EXPECT_EQ(error.rgb, errorDrawn.rgb);
}

// Closes the window, which ends the process: run as a death test, in a fresh process. Exit code 0:
// the slide took between `shortest` and `longest` seconds and, when a tune was playing, the sink
// was silent from 0.3 s after the window first moved (what the sound server buffered drains first).
[[noreturn]] void Close(bool minimised, bool playing, double shortest, double longest) {
  auto sink = std::make_unique<SinkRecording>();
  TestFiles files;
  RealWindow w(posix::DisplayScale::OfDisplay(), true);
  w.window.atEnd = [&] {
    const auto& passes = w.window.passes;
    const double took = std::chrono::duration<double>(passes.back() - passes.front()).count();
    std::fprintf(stderr, "slide: %zu passes in %.3f s\n", passes.size(), took);
    const bool quiet = sink->Peak(passes.front() + 300ms, Clock::now()) <= SinkRecording::kSilence;
    sink.reset();  // its recorder is not left running
    return took >= shortest && took <= longest ? (quiet ? 0 : 4) : 3;
  };
  if (!ShowAndWait(w.window, w.form)) std::_Exit(5);
  if (playing && (!w.Choose(files.tune) || !w.Click(ControlId::cmdPlay, ControlId::cmdStop) ||
                  !WaitFor([&] { return sink->Peak(Clock::now() - 1s, Clock::now()) > 1000; })))
    std::_Exit(6);
  if (minimised) XUnmapWindow(fl_display, fl_xid(&w.window.window()));  // as a window manager does
  SendCloseRequest(w.window.window());
  Fl::run();
  std::_Exit(7);  // the loop ended without the program being ended
}

TEST(LinuxDesktop, ClosingSilencesTheMusicThenSlidesAcrossTheScreenInAboutASecond) {
  SKIP_WITHOUT_DESKTOP(true);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Close(false, true, 0.5, 2.0), ::testing::ExitedWithCode(0), "slide")
      << "3: too fast or too slow; 4: sound during the slide; 5-7: no window, tune or end";
  EXPECT_EXIT(Close(true, false, 0.0, 0.1), ::testing::ExitedWithCode(0), "slide")
      << "3: a window that cannot move slid on";
}

}  // namespace
}  // namespace velmora::testing
