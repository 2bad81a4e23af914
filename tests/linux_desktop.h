#pragma once
// What the Linux window tests do on the X display: show the real window, wait for it, click and
// type through the XTest extension as a user would, send the window manager's close request, and
// read back what the screen shows.
#include <gtest/gtest.h>  // before X11, whose macros clash with it

#include <FL/Fl_Window.H>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/fltk_window.h"

namespace velmora::testing {

// Empty when a display is there; otherwise why the window tests cannot run.
std::string WhyNoDisplay();

// Handles events until the condition holds or the time is up; whether it held.
bool WaitFor(const std::function<bool()>& condition, double seconds = 5.0);
// Lets the server and FLTK finish everything sent so far.
void Settle();
// Shows the window and waits until it is mapped, focused and painted.
bool ShowAndWait(posix::FltkWindow& window, platform::WindowEvents& events);

void ClickAt(const Fl_Widget& widget);
void PressKey(unsigned long keysym);
// As a window manager does when the user closes the window: WM_PROTOCOLS / WM_DELETE_WINDOW.
void SendCloseRequest(Fl_Window& window);

// The window's client area as the screen shows it, 0x00RRGGBB row by row.
struct Screenshot {
  int w = 0, h = 0;
  std::vector<std::uint32_t> rgb;
  std::uint32_t At(int x, int y) const { return rgb[static_cast<std::size_t>(y * w + x)]; }
  Screenshot Crop(int left, int top, int width, int height) const {
    Screenshot part{width, height, {}};
    for (int y = top; y < top + height; ++y)
      for (int x = left; x < left + width; ++x) part.rgb.push_back(At(x, y));
    return part;
  }
};
Screenshot Capture(Fl_Window& window);
// A centred text as FLTK draws it in the label's font and size on the label's colour, in an area of
// the label's width and the given height.
Screenshot Drawn(const Fl_Widget& label, int height, const std::string& text);

// Where the window's client area is on the screen, from the X server.
struct ScreenRect {
  int x, y, w, h;
};
ScreenRect ScreenRectOf(Fl_Window& window);

// An X property of the window as the server holds it: 8-bit items as text, 32-bit items as numbers.
std::vector<unsigned long> Property(Fl_Window& window, const char* name,
                                    std::string* text = nullptr);

// What the sound server's null sink plays, recorded from its monitor as 44.1 kHz mono from the
// moment this is made (an empty recording without the desktop's sound server).
class SinkRecording {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kSilence =
      64;  // 16-bit peaks at or below this are what a card plays as silence
  SinkRecording();
  ~SinkRecording();
  bool Live() const { return pid_ > 0; }
  // The loudest sample played between the two moments, as far as it has been recorded.
  int Peak(Clock::time_point from, Clock::time_point to) const;

 private:
  pid_t pid_ = -1;
  std::string file_;
  Clock::time_point start_;
};

}  // namespace velmora::testing
