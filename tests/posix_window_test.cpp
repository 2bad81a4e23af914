// The Linux window as the user sees it: built from the stored design, at the display's density,
// in the design's colours, with captions shown literally.
#include <gtest/gtest.h>  // before X11, whose macros None and Bool clash with it

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include "tests/window_test_support.h"

namespace velmora::testing {
namespace {

using namespace std::string_literals;
constexpr std::uint32_t kLightGrey = 0xC0C0C0;

TEST(LabelText, ShowsCaptionsAsWindowsDoes) {
  EXPECT_EQ(posix::LabelText("Now Playing \r\nsong.mid\0   "s), "Now Playing \nsong.mid");
  EXPECT_EQ(posix::LabelText("a\rb\nc"), "a\nb\nc");
  EXPECT_EQ(posix::LabelText("@x&y.mid"), "@@x&y.mid");
  EXPECT_EQ(posix::LabelText("\0hidden"s), "");
}

TEST_F(RealWindowTest, IsBuiltFromTheDesignInPixelsAt96Dpi) {
  ASSERT_FLOAT_EQ(window->scale().dpiX, 96.0f) << "the test display runs at 96 DPI";
  ASSERT_FLOAT_EQ(window->scale().dpiY, 96.0f);
  Fl_Window& form = window->window();
  EXPECT_STREQ(form.label(), "Velmora");
  EXPECT_EQ(form.w(), 178);
  EXPECT_EQ(form.h(), 155);
  EXPECT_EQ(form.color(), fl_rgb_color(0xC0, 0xC0, 0xC0));

  struct Expected {
    ControlId id;
    int x, y, w, h;
    bool visible;
  };
  const Expected expected[] = {
      {ControlId::cmdPlay, 8, 32, 161, 25, false},     {ControlId::cmdStop, 8, 56, 161, 25, false},
      {ControlId::CmdGetMidFile, 8, 8, 161, 25, true}, {ControlId::Label1, 8, 88, 161, 57, true},
      {ControlId::Label2, 0, 136, 177, 17, true},
  };
  // FLTK moves the focus in child order, so the children stand in tab order.
  ASSERT_EQ(form.children(), 5);
  for (int i = 0; i < 5; ++i) {
    const Expected& e = expected[i];
    Fl_Widget& widget = Widget(e.id);
    SCOPED_TRACE(kForm1Design.control(e.id).name);
    EXPECT_EQ(form.child(i), &widget);
    EXPECT_EQ(widget.x(), e.x);
    EXPECT_EQ(widget.y(), e.y);
    EXPECT_EQ(widget.w(), e.w);
    EXPECT_EQ(widget.h(), e.h);
    EXPECT_EQ(widget.visible() != 0, e.visible);
    EXPECT_EQ(widget.label(), posix::LabelText(kForm1Design.control(e.id).caption));
    EXPECT_EQ(widget.color(), fl_rgb_color(0xC0, 0xC0, 0xC0));
  }

  ShowAndWait(events);
  const ScreenRect onScreen = ScreenRectOf(form);
  EXPECT_EQ(onScreen.w, 178);
  EXPECT_EQ(onScreen.h, 155);
  EXPECT_EQ(Fl::focus(), &Widget(ControlId::CmdGetMidFile))
      << "the only control that can take the focus";
  EXPECT_FLOAT_EQ(*window->ScreenWidth(), 1920 * 15.0f);
}

TEST_F(RealWindowTest, KeepsItsPhysicalSizeOnADenserDisplay) {
  posix::FltkWindow dense(kForm1Design, posix::DisplayScale{144.0f, 144.0f});
  EXPECT_EQ(dense.window().w(), 267);  // 2670 twips at 10 twips per pixel
  EXPECT_EQ(dense.window().h(), 233);  // 232.5 rounded
  const Fl_Widget& button = dense.widget(ControlId::CmdGetMidFile);
  EXPECT_EQ(button.x(), 12);
  EXPECT_EQ(button.w(), 242);
  EXPECT_EQ(button.labelsize(), 21);  // the default font grows with the density
  EXPECT_FLOAT_EQ(*dense.ScreenWidth(), 1920 * 10.0f);
}

TEST_F(RealWindowTest, PaintsTheWindowAndItsControlsLightGrey) {
  ShowAndWait(events);
  Fl_Window& form = window->window();
  EXPECT_EQ(PixelAt(form, 3, 3), kLightGrey) << "window background";
  EXPECT_EQ(PixelAt(form, 172, 60), kLightGrey) << "window background where hidden buttons stand";
  EXPECT_EQ(PixelAt(form, 8 + 6, 8 + 12), kLightGrey) << "face of Get Mid File";
  EXPECT_EQ(PixelAt(form, 8 + 4, 88 + 4), kLightGrey) << "Label1";
  EXPECT_EQ(PixelAt(form, 1, 137), kLightGrey) << "Label2";
  // The button's caption is drawn in a dark colour on that face.
  bool darkText = false;
  for (std::uint32_t pixel : PixelsOf(Widget(ControlId::CmdGetMidFile)))
    darkText |= pixel == 0x000000;
  EXPECT_TRUE(darkText);
}

TEST_F(RealWindowTest, GivesTheWindowManagerTheIcon) {
  ShowAndWait(events);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom netWmIcon = XInternAtom(fl_display, "_NET_WM_ICON", False);
  ASSERT_EQ(XGetWindowProperty(fl_display, fl_xid(&window->window()), netWmIcon, 0, 1 << 16, False,
                               XA_CARDINAL, &type, &format, &count, &after, &data),
            Success);
  ASSERT_NE(data, nullptr);
  const auto* values = reinterpret_cast<const unsigned long*>(data);
  ASSERT_EQ(count, 2u + 32 * 32);
  EXPECT_EQ(values[0], 32u);
  EXPECT_EQ(values[1], 32u);
  int green = 0, opaque = 0;
  for (unsigned long i = 2; i < count; ++i) {
    const unsigned long argb =
        values[i] & 0xFFFFFFFFul;  // Xlib hands 32-bit items out sign-extended
    if ((argb >> 24) == 0xFF) ++opaque;
    const unsigned long r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    if ((argb >> 24) == 0xFF && g > r && g > b) ++green;
  }
  XFree(data);
  EXPECT_GT(opaque, 0);
  EXPECT_LT(opaque, 32 * 32) << "the notes stand on a transparent ground";
  EXPECT_GT(green, 0) << "green notes";
}

TEST_F(RealWindowTest, ShowsCaptionsLiterallyOnScreen) {
  ShowAndWait(events);
  const Fl_Widget& label1 = Widget(ControlId::Label1);
  const auto onScreen = [&] { return AboveLabel2(label1, PixelsOf(label1)); };
  const auto drawn = [&](const std::string& text, bool symbols = false) {
    return AboveLabel2(label1, ReferencePixels(label1, text, symbols));
  };

  window->SetCaption(ControlId::Label1, "@x&y.mid");
  Settle();
  EXPECT_EQ(onScreen(), drawn("@x&y.mid"));
  // The comparison can tell: FLTK's label syntax would draw a symbol for "@x".
  EXPECT_NE(onScreen(), drawn("@x&y.mid", true));

  window->SetCaption(ControlId::Label1, "Now Playing \r\n@x&y.mid\0   "s);
  Settle();
  EXPECT_EQ(onScreen(), drawn("Now Playing \n@x&y.mid"));
  EXPECT_NE(onScreen(), drawn("Now Playing @x&y.mid"));

  // Label2 lies over Label1's lowest pixels and stays whole when Label1 changes.
  const Fl_Widget& label2 = Widget(ControlId::Label2);
  EXPECT_EQ(PixelsOf(label2),
            ReferencePixels(label2, std::string(kForm1Design.control(ControlId::Label2).caption)));
}

}  // namespace
}  // namespace velmora::testing
