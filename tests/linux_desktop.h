#pragma once
// What the Linux desktop tests do on the private desktop of tests/desktop_session.sh: wait for the
// real window, type through the XTest extension as a user would, send the window
// manager's close request, read back what the screen shows, and hear what the null sink plays.
#include <gtest/gtest.h>  // before X11, whose macros clash with it

#include <FL/Fl_Window.H>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/fltk_window.h"

namespace velmora::testing {

// Empty when the desktop is there (with its sound server, when asked); otherwise why not.
std::string WhyNoDesktop(bool sound = false);
// Handles events until the condition holds or the time is up; whether it held.
bool WaitFor(const std::function<bool()>& condition, double seconds = 5.0);
void Settle();  // lets the X server and FLTK finish everything sent so far
bool ShowAndWait(posix::FltkWindow& window, platform::WindowEvents& events);
void PressKey(unsigned long keysym);
void SendCloseRequest(Fl_Window& window);  // WM_PROTOCOLS / WM_DELETE_WINDOW

// Pixels, 0x00RRGGBB row by row.
struct Screenshot {
  int w = 0, h = 0;
  std::vector<std::uint32_t> rgb;
  std::uint32_t At(int x, int y) const { return rgb[static_cast<std::size_t>(y * w + x)]; }
  Screenshot Crop(int left, int top, int width, int height) const;
};
Screenshot Capture(Fl_Window& window);  // its client area as the screen shows it
// A text as FLTK draws the label's text, in its font, size, alignment and colours, in an area of
// the label's width and the given height.
Screenshot Drawn(const Fl_Widget& label, int height, const std::string& text);

// What the null sink plays, recorded from its monitor (44.1 kHz mono) from the moment this is made.
class SinkRecording {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kSilence = 64;  // a 16-bit peak a sound card plays as silence
  SinkRecording();
  ~SinkRecording();
  // The loudest sample played between the two moments, as far as it has been recorded.
  int Peak(Clock::time_point from, Clock::time_point to) const;

 private:
  pid_t pid_ = -1;
  std::string file_;
  Clock::time_point start_;
};

}  // namespace velmora::testing
