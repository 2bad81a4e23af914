// The Linux window as the user sees it, on the private desktop of tests/desktop_session.sh: built
// from the stored design at the display's density, with status texts that stay readable above an
// intact notice, "Please Wait" painted while the device opens. Form1 runs behind the real GTK
// window and the real Linux layer; the dialog is the fake's. Pixels come back from the X server.
// (The real program in its users' hands, keyboard, sound and closing slide:
// tests/desktop_use_test.py.)
#include <gtest/gtest.h>

#include <unistd.h>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/engine_mci.h"
#include "platform/posix/gtk_controls.h"
#include "platform/posix/gtk_window_system.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "sound_engine/fluid_log.h"
#include "sound_engine/mci_errors.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Pixels = std::vector<std::uint32_t>;
constexpr std::uint32_t kGrey = 0xC0C0C0;

void Settle() {  // lets the X server and GTK finish everything sent so far, a frame included
  for (int round = 0; round < 3; ++round, std::this_thread::sleep_for(10ms)) {
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  }
}

// A box of a window as the X server has it, 0x00RRGGBB row by row, the hole's pixels made grey.
Pixels Capture(GtkWidget* window, GdkRectangle box, GdkRectangle hole = {}) {
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(window), box.x, box.y,
                                               box.width, box.height);
  Pixels rgb;
  for (int y = 0; y < box.height; ++y) {
    for (int x = 0; x < box.width; ++x) {
      const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                        x * gdk_pixbuf_get_n_channels(shot);
      const GdkRectangle at{box.x + x, box.y + y, 1, 1};
      rgb.push_back(gdk_rectangle_intersect(&at, &hole, nullptr) ? kGrey
                                                                 : p[0] << 16 | p[1] << 8 | p[2]);
    }
  }
  g_object_unref(shot);
  return rgb;
}

// The heights of the lines of text drawn: runs of rows holding a pixel darker than the grey.
std::vector<int> InkLines(const Pixels& rgb, int width) {
  std::vector<int> lines;
  for (std::size_t y = 0, inLine = 0; y < rgb.size() / width; ++y) {
    const bool ink = std::any_of(&rgb[y * width], &rgb[y * width] + width,
                                 [](std::uint32_t p) { return (p >> 8 & 0xFF) < 0x90; });
    if (ink && !inLine) lines.push_back(0);
    if ((inLine = ink)) ++lines.back();
  }
  return lines;
}

// The real window with Form1 behind it, watched: what the status line showed whenever pending
// events had run. Beside it, a plain GTK label on the form's grey draws a text as the
// toolkit draws it at the font's size, in the status line's box with a margin around it where a
// text too big for the box would show.
struct Desktop : posix::GtkWindowSystem {
  static constexpr int kMargin = 3;
  fake::FakePlatform dialog;
  posix::EngineMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form{{*this, dialog, mci, files, clock}};
  Pixels statusWhenEventsRan;
  GtkWidget* form1 = GTK_WIDGET(window());
  GdkRectangle padded{0, 0, StatusBox().width + 2 * kMargin, StatusBox().height + 2 * kMargin};
  GtkWidget* plain =
      gtk_widget_new(GTK_TYPE_LABEL, "justify", GTK_JUSTIFY_CENTER, "wrap", TRUE, "wrap-mode",
                     PANGO_WRAP_WORD_CHAR, "xpad", kMargin, "ypad", kMargin, "width-request",
                     padded.width, "height-request", padded.height, "visible", TRUE, nullptr);
  GtkWidget* reference =
      gtk_widget_new(GTK_TYPE_WINDOW, "type", GTK_WINDOW_POPUP, "child", plain, nullptr);

  Desktop() {
    gtk_style_context_add_class(gtk_widget_get_style_context(reference), posix::kFormStyleClass);
    gtk_window_move(GTK_WINDOW(reference), 0, 600);
    gtk_widget_show(reference);
  }
  ~Desktop() override { gtk_widget_destroy(reference); }
  void ProcessPendingEvents() override {
    GtkWindowSystem::ProcessPendingEvents();
    statusWhenEventsRan = Capture(form1, StatusBox());
  }
  // A caption as the plain label draws it in the box, and beyond the box.
  std::pair<Pixels, Pixels> Drawn(const std::string& text) {
    gtk_label_set_text(GTK_LABEL(plain), text.c_str());
    Settle();
    const GdkRectangle box{kMargin, kMargin, StatusBox().width, StatusBox().height};
    return {Capture(reference, box), Capture(reference, padded, box)};
  }
  bool Show() {
    GtkWindowSystem::Show(form);
    for (int wait = 0; wait < 100 && !gtk_widget_get_mapped(form1); ++wait) Settle();
    return Settle(), gtk_widget_get_mapped(form1);
  }
};

bool NoDesktop() {              // outside tests/desktop_session.sh
  posix::RouteFluidSynthLog();  // as the program's main does, with X11 for the closing slide
  gdk_set_allowed_backends("x11");
  return std::getenv("VELMORA_TEST_SINK") == nullptr || !posix::GtkWindowSystem::OpenDisplay();
}

// The window as stored at the density a desktop sets in Xft.dpi, and every text the status line
// can show drawn whole at the window's font size above the notice: nothing else on the window
// changes. A name too long for the box is drawn smaller, inside it.
TEST(LinuxWindow, IsTheDesignAndItsStatusTextsStayReadableAboveTheWholeNoticeAt96And144Dpi) {
  if (NoDesktop()) GTEST_SKIP() << "no desktop";
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
    g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", static_cast<int>(dpi * 1024), nullptr);
    Desktop w;
    ASSERT_TRUE(w.Show());
    const auto px = [&](int twips) { return static_cast<int>(std::lround(twips * dpi / 1440)); };
    for (const ControlDesign& c : kForm1Design.controls) {  // hidden ones shown for a moment
      EXPECT_EQ(gtk_widget_get_visible(w.widget(c.id)), c.visible) << c.name;
      w.SetVisible(c.id, true);
    }
    Settle();
    for (const ControlDesign& c : kForm1Design.controls) {
      GtkAllocation a{};
      gtk_widget_get_allocation(w.widget(c.id), &a);
      w.SetVisible(c.id, c.visible);
      const int height = c.id == ControlId::Label1 ? px(2040) - px(1320) : px(c.height);
      EXPECT_EQ(std::vector({a.x, a.y, a.width, a.height}),
                std::vector({px(c.left), px(c.top), px(c.width), height}))
          << c.name;
    }
    Settle();
    const GdkRectangle status = w.StatusBox(), whole{0, 0, px(2670), px(2325)};
    EXPECT_EQ(std::vector({gtk_widget_get_allocated_width(w.form1),
                           gtk_widget_get_allocated_height(w.form1)}),
              std::vector({whole.width, whole.height}));
    const Pixels before = Capture(w.form1, whole, status);
    for (const auto& [x, y] : {std::pair{45, 45}, {2580, 900}, {210, 300}, {180, 1380}, {15, 2100}})
      EXPECT_EQ(before[px(y) * whole.width + px(x)], kGrey) << x << "," << y << " twips";
    captionInk[dpi] =
        InkLines(Capture(w.form1, {0, px(120), whole.width, px(375)}), whole.width)[0];
    EXPECT_EQ(gtk_window_get_focus(w.window()), w.widget(ControlId::CmdGetMidFile));
    EXPECT_EQ(InkLines(Capture(w.form1, {0, px(2040), whole.width, px(255)}), whole.width).size(),
              1)
        << "the notice shows";
    const int fullLine = InkLines(w.Drawn("Now Playing").first, status.width).at(0);
    for (const std::string& caption : captions) {
      w.SetCaption(ControlId::Label1, caption);
      Settle();
      EXPECT_EQ(Capture(w.form1, whole, status), before) << caption << ": drawn outside Label1";
      const Pixels shown = Capture(w.form1, status);
      const auto [drawn, beyond] = w.Drawn(caption);
      if (caption != tooLong) {
        EXPECT_EQ(beyond, Pixels(beyond.size(), kGrey)) << caption << ": too big for its box";
        EXPECT_EQ(shown, drawn) << caption << ": not the text at the window's font size";
        continue;
      }
      const std::vector<int> lines = InkLines(shown, status.width);
      EXPECT_TRUE(lines.size() > 2 && lines[0] < fullLine)
          << "a long name drawn smaller, and more of it";
    }
  }
  EXPECT_NEAR(captionInk[144] / static_cast<double>(captionInk[96]), 1.5, 0.15)
      << "the font keeps its physical size";
}

// Play paints "Please Wait" before the device opens, then the file's name as it is.
TEST(LinuxWindow, PaintsPleaseWaitWhileTheDeviceOpensThenTheNameAsItIs) {
  if (NoDesktop()) GTEST_SKIP() << "no desktop";
  const fs::path folder = fs::temp_directory_path() / ("velmora " + std::to_string(getpid()));
  const fs::path tune = folder / "a 'b' \"c\" & ü @d <i>.mid";
  fs::create_directories(folder);
  fs::copy_file(fs::path(VELMORA_SOURCE_DIR) / "resources/demo/velmora-demo.mid", tune);
  Desktop w;
  ASSERT_TRUE(w.Show());
  w.SetCaption(ControlId::Label1, "Stop"), w.ProcessPendingEvents();  // a frame has just been drawn
  w.dialog.dialogAnswers.push_back(fake::FakePlatform::Choose(tune));
  w.form.CmdGetMidFile_Click();
  w.form.cmdPlay_Click();
  Settle();
  EXPECT_EQ(w.statusWhenEventsRan, w.Drawn("Please Wait").first);
  EXPECT_EQ(Capture(w.form1, w.StatusBox()),
            w.Drawn("Now Playing \r\n" + tune.filename().string()).first);
  w.form.cmdStop_Click();
  fs::remove_all(folder);
}

}  // namespace
}  // namespace velmora
