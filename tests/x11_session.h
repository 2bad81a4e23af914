#pragma once
// What the window tests do on the X display: wait for the window, click and type through the XTest
// extension as a user would, send the window manager's close request, and read back real pixels.

#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::testing {

// Empty when a display is there; otherwise why the window tests cannot run.
std::string WhyNoDisplay();

// Handles events until the condition holds or the time is up; whether it held.
bool WaitFor(const std::function<bool()>& condition, double seconds = 5.0);
// Shows nothing new: lets the server and FLTK finish everything sent so far.
void Settle();
// Waits until the window is mapped, given the keyboard focus, and painted.
bool WaitUntilViewable(Fl_Window& window);

void ClickAt(const Fl_Widget& widget);
void PressKey(unsigned long keysym);
// As a window manager does when the user closes the window: WM_PROTOCOLS / WM_DELETE_WINDOW.
void SendCloseRequest(Fl_Window& window);

// 0x00RRGGBB of a pixel of the window, x and y in the window's client area.
std::uint32_t PixelAt(Fl_Window& window, int x, int y);
// The pixels of the widget's area as they are on the screen, row by row.
std::vector<std::uint32_t> PixelsOf(const Fl_Widget& widget);
// The same area painted off screen with the widget's colours, font and alignment, the text drawn by
// FLTK literally (no symbols, no shortcut underline) or, with symbols, as FLTK reads label syntax.
std::vector<std::uint32_t> ReferencePixels(const Fl_Widget& widget, const std::string& text,
                                           bool symbols = false);

// Where the window's client area is on the screen, from the X server.
struct ScreenRect {
  int x, y, w, h;
};
ScreenRect ScreenRectOf(Fl_Window& window);

}  // namespace velmora::testing
