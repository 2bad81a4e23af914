// The Linux desktop as the user sees, hears and drives it, on the private desktop of
// tests/desktop_session.sh: the window built from the stored design at the display's density,
// status texts that stay readable above an intact notice, the keyboard alone choosing, playing
// (heard on the sound server's null sink) and stopping, and closing: the music silenced, then the
// slide across the screen in real time. Form1 runs behind the real window and the real Linux layer;
// the dialog is the fake's. Keys go in through the XTest extension; pixels come back from X.
#include <gtest/gtest.h>  // before X11, whose macros clash with it

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/fltk_window.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kGrey = 0xC0C0C0;
constexpr int kSilence = 64;  // a 16-bit peak a sound card plays as silence

void Settle() {  // lets the X server and FLTK finish everything sent so far
  for (int round = 0; round < 3; ++round) Fl::flush(), XSync(fl_display, False), Fl::wait(0.01);
}

bool WaitFor(const std::function<bool()>& condition, double seconds = 5) {
  for (const auto end = Clock::now() + std::chrono::duration<double>(seconds); !condition();
       Settle())
    if (Clock::now() > end) return false;
  return true;
}

void PressKey(unsigned long keysym) {
  const KeyCode key = XKeysymToKeycode(fl_display, keysym);
  XTestFakeKeyEvent(fl_display, key, True, CurrentTime),
      XTestFakeKeyEvent(fl_display, key, False, CurrentTime);
  XFlush(fl_display);
}

// Pixels, 0x00RRGGBB row by row, read from where FLTK draws now: a window or an offscreen.
struct Screenshot {
  int w = 0, h = 0;
  std::vector<std::uint32_t> rgb;
  Screenshot() = default;
  Screenshot(int left, int top, int width, int height) : w(width), h(height) {
    std::vector<uchar> bytes(static_cast<std::size_t>(w * h * 3));
    fl_read_image(bytes.data(), left, top, w, h);
    for (std::size_t i = 0; i < bytes.size(); i += 3)
      rgb.push_back(std::uint32_t{bytes[i]} << 16 | bytes[i + 1] << 8 | bytes[i + 2]);
  }
  std::uint32_t At(int x, int y) const { return rgb[static_cast<std::size_t>(y * w + x)]; }
};

// What the null sink plays, recorded from its monitor (44.1 kHz mono) from the moment this is made.
class SinkRecording {
 public:
  SinkRecording() {
    char name[] = "/tmp/velmora-sink.XXXXXX";
    close(mkstemp(name));
    file_ = name;
    std::system(("parec --device=$VELMORA_TEST_SINK.monitor --raw --format=s16le --channels=1 "
                 "--latency-msec=10 >" +
                 file_ + " 2>/dev/null & echo $! >" + file_ + ".pid")
                    .c_str());
    // The recording's first sample is what played when the stream began: dated by its length.
    long long bytes = 0;
    for (int wait = 0; wait < 500 && bytes <= 0; ++wait, std::this_thread::sleep_for(10ms))
      bytes = std::ifstream(file_, std::ios::ate).tellg();
    start_ = Clock::now() - std::chrono::microseconds(bytes * 1'000'000 / 2 / 44100);
  }
  ~SinkRecording() { std::system(("kill $(cat " + file_ + ".pid); rm -f " + file_ + "*").c_str()); }
  // The loudest sample played between the two moments, as far as it has been recorded.
  int Peak(Clock::time_point from, Clock::time_point to) const {
    const auto sample = [&](Clock::time_point at) {
      return std::max<long long>(0, (at - start_) / 1us * 441 / 10000);
    };
    std::ifstream recorded(file_, std::ios::binary);
    recorded.seekg(sample(from) * 2);
    int peak = 0;
    std::int16_t value = 0;
    for (long long n = sample(from);
         n < sample(to) && recorded.read(reinterpret_cast<char*>(&value), 2); ++n)
      peak = std::max(peak, std::abs(static_cast<int>(value)));
    return peak;
  }

 private:
  std::string file_;
  Clock::time_point start_;
};

// The real window with Form1 behind it, watched: what Label1 showed whenever pending events had
// run, when each closing pass reached the screen, and at the program's end a check whose result is
// the exit code (the program ending here would otherwise pass for a test that went well).
struct Desktop : posix::FltkWindow {
  explicit Desktop(float dpi = 96) : FltkWindow(kForm1Design, posix::DisplayScale{dpi, dpi}) {}
  fake::FakePlatform dialog;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form{{*this, dialog, mci, files, clock}};
  Screenshot labelWhenEventsRan;
  std::vector<Clock::time_point> passes;
  std::function<int()> atEnd = [] { return 9; };

  void ProcessPendingEvents() override {
    FltkWindow::ProcessPendingEvents();
    labelWhenEventsRan = Label1("").first;
  }
  bool UpdateScreen() override {
    return passes.push_back(Clock::now()), FltkWindow::UpdateScreen();
  }
  [[noreturn]] void EndProgram() override { std::_Exit(atEnd()); }
  Fl_Widget& operator[](ControlId id) { return widget(id); }
  int FreeHeight() { return widget(ControlId::Label2).y() - widget(ControlId::Label1).y(); }
  Screenshot Capture(int x = 0, int y = 0, int w = 0, int h = 0) {
    window().make_current();
    return {x, y, w ? w : window().w(), h ? h : window().h()};
  }
  // What Label1 shows above the notice, and the text as FLTK draws it there.
  std::pair<Screenshot, Screenshot> Label1(const std::string& text) {
    const Fl_Widget& label = widget(ControlId::Label1);
    Fl_Offscreen drawn = fl_create_offscreen(label.w(), FreeHeight());
    fl_begin_offscreen(drawn);
    fl_color(label.color()), fl_rectf(0, 0, label.w(), FreeHeight());
    fl_font(label.labelfont(), label.labelsize()), fl_color(label.labelcolor());
    fl_draw(posix::LabelText(text).c_str(), 0, 0, label.w(), FreeHeight(), label.align(), nullptr,
            1);
    const Screenshot reference(0, 0, label.w(), FreeHeight());
    fl_end_offscreen(), fl_delete_offscreen(drawn);
    return {Capture(label.x(), label.y(), label.w(), FreeHeight()), reference};
  }
  bool Show() {
    FltkWindow::Show(form);
    window().wait_for_expose();
    // No window manager on the test display: hand the window the keyboard as one would.
    XSetInputFocus(fl_display, fl_xid(&window()), RevertToParent, CurrentTime);
    return Settle(), window().visible() != 0;
  }
  // A key on the focused button, and the button it shows.
  bool Press(unsigned long key, ControlId shownAfter) {
    PressKey(key);
    return WaitFor([&] { return widget(shownAfter).visible() != 0; });
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
  fs::path tune = folder / "a 'b' \"c\" & ü @d.mid";
  TestFiles() {
    fs::create_directories(folder);
    fs::copy_file(fs::path(VELMORA_SOURCE_DIR) / "resources/demo/velmora-demo.mid", tune);
  }
  ~TestFiles() { fs::remove_all(folder.parent_path()); }
};

bool NoDesktop() { return std::getenv("VELMORA_TEST_SINK") == nullptr; }
constexpr const char* kNoDesktop = "no desktop: run under tests/desktop_session.sh";

// The window as stored, and every text the status line can show staying in the part of Label1
// above the notice, at the window's own font size and whole; nothing else on the window changes,
// the notice included.
TEST(LinuxWindow, IsTheDesignAndItsStatusTextsStayReadableAboveTheWholeNoticeAt96And144Dpi) {
  if (NoDesktop()) GTEST_SKIP() << kNoDesktop;
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nvelmora-demo.mid", "",
                                    "open: too large to play: 1234 MB"};
  for (platform::MciError code = 256; code < 512; ++code) {  // 264 is shown with its size only
    const std::string_view text = posix::mci_error::Text(code);
    if (!text.empty() && code != 264) captions.push_back("open: " + std::string(text));
  }
  for (const float dpi : {96.0f, 144.0f}) {
    Desktop w(dpi);
    ASSERT_TRUE(w.Show());
    const Fl_Widget& label = w[ControlId::Label1];
    const int freeHeight = w.FreeHeight();
    const Screenshot before = w.Capture();
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
    const Screenshot button = w.Capture(label.x(), px(120), label.w(), px(375));
    EXPECT_GT(std::count(button.rgb.begin(), button.rgb.end(), 0u), 0) << "its caption in black";
    EXPECT_EQ(w[ControlId::CmdGetMidFile].labelsize(), px(210)) << "the font keeps its size";
    EXPECT_EQ(Fl::focus(), &w[ControlId::CmdGetMidFile]);
    const Screenshot notice = w.Capture(0, label.y() + freeHeight, 0, w[ControlId::Label2].h());
    EXPECT_GT(std::count(notice.rgb.begin(), notice.rgb.end(), 0u), 0) << "the notice shows";
    for (const std::string& caption : captions) {
      w.SetCaption(ControlId::Label1, caption);
      Settle();
      const Screenshot after = w.Capture();
      const auto [shown, drawn] = w.Label1(caption);
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

// The whole use by the keyboard, then closing while the tune plays: run as a death test (closing
// ends the process), in a fresh process. Exit code 0: every check held, the slide took between 0.5
// and 2 s, and the sink was silent from 0.3 s after the window first moved (what the sound server
// buffered drains first). A window that cannot move must end within 0.1 s instead.
[[noreturn]] void UseThenClose(bool minimised) {
  auto sink = std::make_unique<SinkRecording>();
  TestFiles files;
  Desktop w;
  bool closed = false;  // by the test, not by a key that must not close the window
  w.atEnd = [&] {
    const double took = std::chrono::duration<double>(w.passes.back() - w.passes.front()).count();
    std::fprintf(stderr, "slide: %zu passes in %.3f s\n", w.passes.size(), took);
    const bool quiet = sink->Peak(w.passes.front() + 300ms, Clock::now()) <= kSilence;
    sink.reset();  // its recorder is not left running
    const bool paced = minimised ? took < 0.1 : took >= 0.5 && took <= 2.0;
    return !closed ? 8 : ::testing::Test::HasFailure() ? 1 : !paced ? 3 : quiet ? 0 : 4;
  };
  if (!w.Show()) std::_Exit(5);
  if (minimised) XUnmapWindow(fl_display, fl_xid(&w.window()));  // as a window manager does
  if (!minimised) {
    PressKey(XK_Tab);     // nowhere else to go while one button is visible
    PressKey(XK_Escape);  // a Windows window does not close on Escape: the program would end
    Clock::time_point played = Clock::now();
    EXPECT_TRUE(w.ChooseAndPlay(files.tune)) << "Space on the focused Get Mid File, then on Play";
    EXPECT_EQ(w.labelWhenEventsRan.rgb, w.Label1("Please Wait").second.rgb)
        << "Please Wait while the device opens";
    const auto [shown, drawn] = w.Label1("Now Playing \r\n" + files.tune.filename().string());
    EXPECT_EQ(shown.rgb, drawn.rgb) << "'@' and '&' shown as they are";
    EXPECT_TRUE(WaitFor([&] { return sink->Peak(played, Clock::now()) > 1000; }, 3)) << "no sound";
    EXPECT_TRUE(w.Press(XK_Return, ControlId::CmdGetMidFile)) << "Enter on Stop";
    const Clock::time_point stopped = Clock::now();
    WaitFor([] { return false; }, 1.0);
    EXPECT_LE(sink->Peak(stopped + 300ms, Clock::now()), kSilence) << "sound after Stop";
    played = Clock::now();
    EXPECT_TRUE(w.ChooseAndPlay(files.tune));
    EXPECT_TRUE(WaitFor([&] { return sink->Peak(played, Clock::now()) > 1000; }, 3)) << "no sound";
  }
  closed = true;
  const auto atom = [](const char* name) { return XInternAtom(fl_display, name, False); };
  XEvent close{};  // as a window manager closes a window: WM_PROTOCOLS, WM_DELETE_WINDOW
  close.xclient.type = ClientMessage, close.xclient.window = fl_xid(&w.window());
  close.xclient.message_type = atom("WM_PROTOCOLS"), close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
  XSendEvent(fl_display, fl_xid(&w.window()), False, NoEventMask, &close);
  Fl::run();
  std::_Exit(7);  // the loop ended without the program being ended
}

TEST(LinuxDesktop, TheKeyboardAloneChoosesPlaysAndStopsAndClosingSilencesThenSlidesAway) {
  if (NoDesktop()) GTEST_SKIP() << kNoDesktop;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(UseThenClose(false), ::testing::ExitedWithCode(0), "slide")
      << "1: a check failed; 3: the slide too fast or slow; 4: sound during it; 5, 7: no window "
         "or no end; 8: closed before the test closed it";
  EXPECT_EXIT(UseThenClose(true), ::testing::ExitedWithCode(0), "slide")
      << "a window that cannot move slid on";
}

}  // namespace
}  // namespace velmora
