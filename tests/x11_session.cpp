#include "tests/x11_session.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdlib>

namespace velmora::testing {

namespace {

Window Root() { return RootWindow(fl_display, fl_screen); }

std::uint32_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  return static_cast<std::uint32_t>(((pixel >> shift) & mask) * 255 / mask);
}

// Pixmaps carry no colour masks of their own: use the visual's, which FLTK draws with.
std::vector<std::uint32_t> ReadRgb(Drawable drawable, int x, int y, int w, int h) {
  XImage* image = XGetImage(fl_display, drawable, x, y, w, h, AllPlanes, ZPixmap);
  std::vector<std::uint32_t> rgb;
  if (image == nullptr) return rgb;
  const Visual* visual = fl_visual->visual;
  for (int row = 0; row < h; ++row) {
    for (int column = 0; column < w; ++column) {
      const unsigned long pixel = XGetPixel(image, column, row);
      rgb.push_back(Channel(pixel, visual->red_mask) << 16 |
                    Channel(pixel, visual->green_mask) << 8 | Channel(pixel, visual->blue_mask));
    }
  }
  XDestroyImage(image);
  return rgb;
}

void ScreenPointOf(const Fl_Widget& widget, int& x, int& y) {
  Window child = 0;
  XTranslateCoordinates(fl_display, fl_xid(widget.top_window()), Root(),
                        widget.x() + widget.w() / 2, widget.y() + widget.h() / 2, &x, &y, &child);
}

}  // namespace

std::string WhyNoDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    return "DISPLAY is not set: the window tests need X (./test.sh runs them under Xvfb)";
  }
  // Kept open for the life of the process: Xvfb resets itself when its last client leaves, and a
  // connection opened during that reset (FLTK's, right after this one) is refused.
  static Display* const keptOpen = XOpenDisplay(name);
  if (keptOpen == nullptr) return std::string("cannot open the X display ") + name;
  return "";
}

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Fl::flush();
    XSync(fl_display, False);
    Fl::wait(0.01);
  }
  return true;
}

void Settle() {
  for (int round = 0; round < 5; ++round) {
    Fl::flush();
    XSync(fl_display, False);
    Fl::wait(0.01);
  }
}

bool WaitUntilViewable(Fl_Window& window) {
  const bool viewable = WaitFor([&] {
    if (!window.shown()) return false;
    XWindowAttributes attributes{};
    return XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) &&
           attributes.map_state == IsViewable;
  });
  if (!viewable) return false;
  // No window manager on the test display: hand the window the keyboard as one would.
  XSetInputFocus(fl_display, fl_xid(&window), RevertToParent, CurrentTime);
  Settle();
  return true;
}

void ClickAt(const Fl_Widget& widget) {
  int x = 0, y = 0;
  ScreenPointOf(widget, x, y);
  XTestFakeMotionEvent(fl_display, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(fl_display, 1, True, CurrentTime);
  XTestFakeButtonEvent(fl_display, 1, False, CurrentTime);
  XFlush(fl_display);
}

void PressKey(unsigned long keysym) {
  const KeyCode key = XKeysymToKeycode(fl_display, keysym);
  XTestFakeKeyEvent(fl_display, key, True, CurrentTime);
  XTestFakeKeyEvent(fl_display, key, False, CurrentTime);
  XFlush(fl_display);
}

void SendCloseRequest(Fl_Window& window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = fl_xid(&window);
  event.xclient.message_type = XInternAtom(fl_display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(fl_display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(fl_display, fl_xid(&window), False, NoEventMask, &event);
  XFlush(fl_display);
}

std::uint32_t PixelAt(Fl_Window& window, int x, int y) {
  const auto pixels = ReadRgb(fl_xid(&window), x, y, 1, 1);
  return pixels.empty() ? 0xFFFFFFFFu : pixels.front();
}

std::vector<std::uint32_t> PixelsOf(const Fl_Widget& widget) {
  // A window's own position is on the screen; its pixels start at its corner.
  Fl_Window* asWindow = const_cast<Fl_Widget&>(widget).as_window();
  const bool whole = asWindow != nullptr;
  const Fl_Window* window = whole ? asWindow : widget.top_window();
  return ReadRgb(fl_xid(window), whole ? 0 : widget.x(), whole ? 0 : widget.y(), widget.w(),
                 widget.h());
}

std::vector<std::uint32_t> ReferencePixels(const Fl_Widget& widget, const std::string& text,
                                           bool symbols) {
  const int w = widget.w(), h = widget.h();
  Fl_Offscreen offscreen = fl_create_offscreen(w, h);
  fl_begin_offscreen(offscreen);
  fl_color(widget.color());
  fl_rectf(0, 0, w, h);
  // Where FLTK puts a flat box's label: inset 3 pixels when aligned to a side.
  int x = 0, labelWidth = w;
  if (w > 11 && (widget.align() & (FL_ALIGN_LEFT | FL_ALIGN_RIGHT))) {
    x += 3;
    labelWidth -= 6;
  }
  fl_font(widget.labelfont(), widget.labelsize());
  fl_color(widget.labelcolor());
  if (symbols) {
    fl_draw(text.c_str(), x, 0, labelWidth, h, widget.align(), nullptr, 1);
  } else {
    // Line by line, each in its own row of the block FLTK centres: FLTK's layout stops at a
    // line that begins with '@' even with symbols off.
    std::vector<std::string> lines{""};
    for (const char c : text) {
      if (c == '\n') {
        lines.emplace_back();
      } else {
        lines.back().push_back(c);
      }
    }
    const int lineHeight = fl_height();
    const int count = static_cast<int>(lines.size());
    int top = (widget.align() & FL_ALIGN_TOP) ? 0 : (h - count * lineHeight) / 2;
    for (const std::string& line : lines) {
      const Fl_Align oneLine =
          (widget.align() & ~(FL_ALIGN_TOP | FL_ALIGN_BOTTOM)) | FL_ALIGN_INSIDE;
      fl_draw(line.c_str(), x, top, labelWidth, lineHeight, oneLine, nullptr, 0);
      top += lineHeight;
    }
  }
  fl_end_offscreen();
  auto pixels = ReadRgb(offscreen, 0, 0, w, h);
  fl_delete_offscreen(offscreen);
  return pixels;
}

ScreenRect ScreenRectOf(Fl_Window& window) {
  ScreenRect rect{};
  Window child = 0, root = 0;
  XTranslateCoordinates(fl_display, fl_xid(&window), Root(), 0, 0, &rect.x, &rect.y, &child);
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  XGetGeometry(fl_display, fl_xid(&window), &root, &x, &y, &w, &h, &border, &depth);
  rect.w = static_cast<int>(w);
  rect.h = static_cast<int>(h);
  return rect;
}

}  // namespace velmora::testing
