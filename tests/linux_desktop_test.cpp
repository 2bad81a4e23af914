// The Linux desktop as the user sees, hears and drives it, on the private desktop of
// tests/desktop_session.sh: the window built from the stored design at the display's density,
// status texts that stay readable above an intact notice, the keyboard alone choosing, playing
// (heard on the sound server's null sink) and stopping, and closing: the music silenced, then the
// slide across the screen in real time. Form1 runs behind the real GTK window and the real Linux
// layer; the dialog is the fake's. Keys go in through the XTest extension; pixels come back from X.
#include <gtest/gtest.h>  // before X11, whose macros clash with it

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/gtk_controls.h"
#include "platform/posix/gtk_window_system.h"
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

void Settle() {  // lets the X server and GTK finish everything sent so far, a frame included
  for (int round = 0; round < 3; ++round) {
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    std::this_thread::sleep_for(10ms);
  }
}

bool WaitFor(const std::function<bool()>& condition, double seconds = 5) {
  for (const auto end = Clock::now() + std::chrono::duration<double>(seconds); !condition();
       Settle())
    if (Clock::now() > end) return false;
  return true;
}

Display* XDisplay() { return gdk_x11_display_get_xdisplay(gdk_display_get_default()); }

void PressKey(unsigned long keysym) {
  const KeyCode key = XKeysymToKeycode(XDisplay(), keysym);
  XTestFakeKeyEvent(XDisplay(), key, True, CurrentTime);
  XTestFakeKeyEvent(XDisplay(), key, False, CurrentTime);
  XFlush(XDisplay());
}

// Pixels, 0x00RRGGBB row by row, as the X server has them in a window.
struct Screenshot {
  int w = 0, h = 0;
  std::vector<std::uint32_t> rgb;
  Screenshot() = default;
  Screenshot(GtkWidget* window, GdkRectangle box) : w(box.width), h(box.height) {
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(window), box.x, box.y, w, h);
    const int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
    for (int y = 0; y < h; ++y) {
      for (const guchar* p = gdk_pixbuf_get_pixels(shot) + y * stride;
           p < gdk_pixbuf_get_pixels(shot) + y * stride + w * channels; p += channels)
        rgb.push_back(std::uint32_t{p[0]} << 16 | p[1] << 8 | p[2]);
    }
    g_object_unref(shot);
  }
  std::uint32_t At(int x, int y) const { return rgb[static_cast<std::size_t>(y * w + x)]; }
  static bool Ink(std::uint32_t pixel) { return (pixel >> 8 & 0xFF) < 0x90; }  // darker than grey
  int InkRows() const {
    int rows = 0;
    for (int y = 0; y < h; ++y) rows += std::any_of(&rgb[y * w], &rgb[y * w] + w, Ink);
    return rows;
  }
  std::vector<std::uint32_t> Inside(int x0, int y0, int width, int height) const {
    std::vector<std::uint32_t> part;
    for (int y = y0; y < y0 + height; ++y)
      part.insert(part.end(), &rgb[y * w + x0], &rgb[y * w + x0] + width);
    return part;
  }
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
// the exit code (the program ending here would otherwise pass for a test that went well). Beside
// it, a plain GTK label on the form's grey draws a text as the toolkit draws it at the font's size,
// in a box the size of the status line's with a margin around it where a text too big would show.
struct Desktop : posix::GtkWindowSystem {
  fake::FakePlatform dialog;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form{{*this, dialog, mci, files, clock}};
  Screenshot labelWhenEventsRan;
  std::vector<Clock::time_point> passes;
  std::function<int()> atEnd = [] { return 9; };
  GtkWidget* reference = gtk_window_new(GTK_WINDOW_POPUP);
  GtkWidget* plainLabel = gtk_label_new("");
  static constexpr int kMargin = 3;

  Desktop() {
    gtk_style_context_add_class(gtk_widget_get_style_context(reference), posix::kFormStyleClass);
    GtkCssProvider* margin = gtk_css_provider_new();
    gtk_css_provider_load_from_data(margin, "label { padding: 3px; }", -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(plainLabel),
                                   GTK_STYLE_PROVIDER(margin), GTK_STYLE_PROVIDER_PRIORITY_USER);
    g_object_unref(margin);
    gtk_label_set_justify(GTK_LABEL(plainLabel), GTK_JUSTIFY_CENTER);
    gtk_label_set_line_wrap(GTK_LABEL(plainLabel), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(plainLabel), PANGO_WRAP_WORD_CHAR);
    gtk_widget_set_size_request(plainLabel, StatusBox().width + 2 * kMargin,
                                StatusBox().height + 2 * kMargin);
    gtk_container_add(GTK_CONTAINER(reference), plainLabel);
    gtk_window_move(GTK_WINDOW(reference), 0, 600);
    gtk_widget_show_all(reference);
  }
  ~Desktop() override { gtk_widget_destroy(reference); }
  void ProcessPendingEvents() override {
    GtkWindowSystem::ProcessPendingEvents();
    labelWhenEventsRan = Shown();
  }
  bool UpdateScreen() override {
    return passes.push_back(Clock::now()), GtkWindowSystem::UpdateScreen();
  }
  [[noreturn]] void EndProgram() override { std::_Exit(atEnd()); }
  GtkWidget* operator[](ControlId id) { return widget(id); }
  Screenshot Capture(GdkRectangle box = {}) {
    if (box.width == 0)
      box = {0, 0, gtk_widget_get_allocated_width(GTK_WIDGET(window())),
             gtk_widget_get_allocated_height(GTK_WIDGET(window()))};
    return {GTK_WIDGET(window()), box};
  }
  Screenshot Shown() { return Capture(StatusBox()); }  // the status line
  Screenshot Drawn(std::string text) {  // the caption as the desktop shows it: CR LF a new line
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
    gtk_label_set_text(GTK_LABEL(plainLabel), text.c_str());
    Settle();
    return {reference, {0, 0, StatusBox().width + 2 * kMargin, StatusBox().height + 2 * kMargin}};
  }
  bool Show() {
    GtkWindowSystem::Show(form);
    // No window manager on the test display: hand the window the keyboard as one would.
    WaitFor([&] { return gtk_widget_get_mapped(GTK_WIDGET(window())); });
    gdk_window_focus(gtk_widget_get_window(GTK_WIDGET(window())), GDK_CURRENT_TIME);
    return Settle(), gtk_widget_get_mapped(GTK_WIDGET(window()));
  }
  // A key on the focused button, and the button it shows.
  bool Press(unsigned long key, ControlId shownAfter) {
    PressKey(key);
    return WaitFor([&] { return gtk_widget_get_visible(widget(shownAfter)) != FALSE; });
  }
  bool ChooseAndPlay(const fs::path& file, ControlId shownAfter = ControlId::cmdStop) {
    dialog.dialogAnswers.push_back(fake::FakePlatform::Choose(file));
    return Press(XK_space, ControlId::cmdPlay) && Press(XK_space, shownAfter);
  }
};

// Blanks, quotes, '&', '@', '<' and UTF-8, in a folder deep enough that the short form does not
// fit the program's first 67-character buffer.
struct TestFiles {
  fs::path folder =
      fs::temp_directory_path() / ("velmora " + std::to_string(getpid())) / std::string(60, 'd');
  fs::path tune = folder / "a 'b' \"c\" & ü @d <i>.mid";
  TestFiles() {
    fs::create_directories(folder);
    fs::copy_file(fs::path(VELMORA_SOURCE_DIR) / "resources/demo/velmora-demo.mid", tune);
  }
  ~TestFiles() { fs::remove_all(folder.parent_path()); }
};

bool NoDesktop() {
  return std::getenv("VELMORA_TEST_SINK") == nullptr || !posix::GtkWindowSystem::OpenDisplay();
}
constexpr const char* kNoDesktop = "no desktop: run under tests/desktop_session.sh";

// The window as stored, and every text the status line can show staying in the part of Label1
// above the notice, at the window's own font size and whole; nothing else on the window changes,
// the notice included. A name too long for the box is drawn smaller, still inside it.
TEST(LinuxWindow, IsTheDesignAndItsStatusTextsStayReadableAboveTheWholeNoticeAt96And144Dpi) {
  if (NoDesktop()) GTEST_SKIP() << kNoDesktop;
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nvelmora-demo.mid", "",
                                    "open: too large to play: 1234 MB"};
  for (platform::MciError code = 256; code < 512; ++code) {  // 264 is shown with its size only
    const std::string_view text = posix::mci_error::Text(code);
    if (!text.empty() && code != 264) captions.push_back("open: " + std::string(text));
  }
  const std::string tooLong = "Now Playing \r\n" + std::string(150, 'w') + ".mid";
  captions.push_back(tooLong);
  std::map<float, int> captionInk;
  for (const float dpi : {96.0f, 144.0f}) {
    // The density a desktop sets in its Xft.dpi setting.
    g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", static_cast<int>(dpi * 1024), nullptr);
    Desktop w;
    ASSERT_TRUE(w.Show());
    const GdkRectangle status = w.StatusBox();
    // The stored design in the display's pixels, on the form's grey, the default font's size kept.
    const auto px = [&](int twips) { return static_cast<int>(std::lround(twips * dpi / 1440)); };
    for (const ControlDesign& c : kForm1Design.controls) {
      EXPECT_EQ(gtk_widget_get_visible(w[c.id]), c.visible) << c.name;
      gtk_widget_show(w[c.id]);  // a hidden control has no place on the screen
      Settle();
      GtkAllocation a{};
      gtk_widget_get_allocation(w[c.id], &a);
      gtk_widget_set_visible(w[c.id], c.visible);
      const int height = c.id == ControlId::Label1 ? px(2040) - px(1320) : px(c.height);
      EXPECT_EQ(std::vector({a.x, a.y, a.width, a.height}),
                std::vector({px(c.left), px(c.top), px(c.width), height}))
          << c.name;
    }
    const Screenshot before = w.Capture();
    EXPECT_EQ(std::vector({before.w, before.h}), std::vector({px(2670), px(2325)}));
    for (const auto& [x, y] : {std::pair{45, 45}, {2580, 900}, {210, 300}, {180, 1380}, {15, 2100}})
      EXPECT_EQ(before.At(px(x), px(y)), kGrey) << x << "," << y << " twips";
    captionInk[dpi] = w.Capture({status.x, px(120), status.width, px(375)}).InkRows();
    EXPECT_EQ(gtk_window_get_focus(w.window()), w[ControlId::CmdGetMidFile]);
    const Screenshot notice = w.Capture({0, status.y + status.height, before.w, px(255)});
    EXPECT_GT(notice.InkRows(), 0) << "the notice shows";
    for (const std::string& caption : captions) {
      w.SetCaption(ControlId::Label1, caption);
      Settle();
      const Screenshot after = w.Capture(), drawn = w.Drawn(caption);
      int changedOutside = 0, inkBeyondTheBox = 0;
      for (int y = 0; y < after.h; ++y) {
        for (int x = 0; x < after.w; ++x) {
          const int lx = x - status.x, ly = y - status.y;
          const bool inside = lx >= 0 && ly >= 0 && lx < status.width && ly < status.height;
          changedOutside += !inside && after.At(x, y) != before.At(x, y);
        }
      }
      for (int y = 0; y < drawn.h; ++y) {
        for (int x = 0; x < drawn.w; ++x) {
          const int lx = x - Desktop::kMargin, ly = y - Desktop::kMargin;
          const bool inside = lx >= 0 && ly >= 0 && lx < status.width && ly < status.height;
          inkBeyondTheBox += !inside && drawn.At(x, y) != kGrey;
        }
      }
      EXPECT_EQ(changedOutside, 0) << caption << ": drawn outside Label1 or over the notice";
      const Screenshot shown = w.Shown();
      if (caption == tooLong) {  // smaller, and all of it inside the box
        EXPECT_GT(shown.InkRows(), status.height / 3) << "a long name drawn smaller, not hidden";
        const auto row = [&](int y) {
          return std::vector(&shown.rgb[y * shown.w], &shown.rgb[(y + 1) * shown.w]);
        };
        EXPECT_FALSE(std::ranges::any_of(row(0), Screenshot::Ink) ||
                     std::ranges::any_of(row(shown.h - 1), Screenshot::Ink))
            << "a line cut by the box";
        continue;
      }
      EXPECT_EQ(inkBeyondTheBox, 0) << caption << ": does not fit above the notice";
      EXPECT_EQ(shown.rgb,
                drawn.Inside(Desktop::kMargin, Desktop::kMargin, status.width, status.height))
          << caption << ": not the text at the window's font size";
    }
  }
  EXPECT_NEAR(captionInk[144] / static_cast<double>(captionInk[96]), 1.5, 0.15)
      << "the font keeps its physical size";
}

// The whole use by the keyboard, then closing while the tune plays: run as a death test (closing
// ends the process), in a fresh process. Exit code 0: every check held, the slide took between 0.5
// and 2 s, and the sink was silent from 0.3 s after the window first moved (what the sound server
// buffered drains first). A window that cannot move must end within 0.1 s instead.
[[noreturn]] void UseThenClose(bool minimised) {
  if (NoDesktop()) std::_Exit(6);
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
  const Window xid = gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(w.window())));
  if (minimised) XUnmapWindow(XDisplay(), xid), Settle();  // as a window manager does
  if (!minimised) {
    PressKey(XK_Tab);     // nowhere else to go while one button is visible
    PressKey(XK_Escape);  // a Windows window does not close on Escape: the program would end
    Clock::time_point played = Clock::now();
    EXPECT_TRUE(w.ChooseAndPlay(files.tune)) << "Space on the focused Get Mid File, then on Play";
    const auto drawn = [&](const std::string& text) {
      const GdkRectangle box = w.StatusBox();
      return w.Drawn(text).Inside(Desktop::kMargin, Desktop::kMargin, box.width, box.height);
    };
    EXPECT_EQ(w.labelWhenEventsRan.rgb, drawn("Please Wait"))
        << "Please Wait while the device opens";
    EXPECT_EQ(w.Shown().rgb, drawn("Now Playing \r\n" + files.tune.filename().string()))
        << "'@', '&' and '<' shown as they are";
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
  const auto atom = [](const char* name) { return XInternAtom(XDisplay(), name, False); };
  XEvent close{};  // as a window manager closes a window: WM_PROTOCOLS, WM_DELETE_WINDOW
  close.xclient.type = ClientMessage, close.xclient.window = xid;
  close.xclient.message_type = atom("WM_PROTOCOLS"), close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(XDisplay(), xid, False, NoEventMask, &close);
  w.Run();
  std::_Exit(7);  // the loop ended without the program being ended
}

TEST(LinuxDesktop, TheKeyboardAloneChoosesPlaysAndStopsAndClosingSilencesThenSlidesAway) {
  if (std::getenv("VELMORA_TEST_SINK") == nullptr) GTEST_SKIP() << kNoDesktop;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(UseThenClose(false), ::testing::ExitedWithCode(0), "slide")
      << "1: a check failed; 3: the slide too fast or slow; 4: sound during it; 5, 6, 7: no "
         "window, no display or no end; 8: closed before the test closed it";
  EXPECT_EXIT(UseThenClose(true), ::testing::ExitedWithCode(0), "slide")
      << "a window that cannot move slid on";
}

}  // namespace
}  // namespace velmora
