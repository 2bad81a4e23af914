#include "tests/linux_desktop.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace velmora::testing {

namespace {

Screenshot Read(Drawable drawable, int w, int h) {
  Screenshot shot{w, h, {}};
  XImage* image = XGetImage(fl_display, drawable, 0, 0, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  // Pixmaps carry no colour masks of their own: the visual's, which FLTK draws with, apply.
  const Visual& visual = *fl_visual->visual;
  const auto channel = [](unsigned long pixel, unsigned long mask) {
    const int shift = __builtin_ctzl(mask);
    return static_cast<std::uint32_t>(((pixel >> shift) & (mask >> shift)) * 255 / (mask >> shift));
  };
  for (int y = 0; image != nullptr && y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      shot.rgb.push_back(channel(pixel, visual.red_mask) << 16 |
                         channel(pixel, visual.green_mask) << 8 | channel(pixel, visual.blue_mask));
    }
  }
  if (image != nullptr) XDestroyImage(image);
  return shot;
}

}  // namespace

std::string WhyNoDesktop(bool sound) {
  const char* name = std::getenv("DISPLAY");
  // Kept open for the life of the process: Xvfb resets itself when its last client leaves.
  static Display* const keptOpen = name != nullptr ? XOpenDisplay(name) : nullptr;
  if (keptOpen == nullptr) return "no X display: run under tests/desktop_session.sh";
  if (sound && std::getenv("VELMORA_TEST_SINK") == nullptr) return "no private sound server";
  return "";
}

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Settle();
  }
  return true;
}

void Settle() {
  for (int round = 0; round < 3; ++round) {
    Fl::flush();
    XSync(fl_display, False);
    Fl::wait(0.01);
  }
}

bool ShowAndWait(posix::FltkWindow& window, platform::WindowEvents& events) {
  window.Show(events);
  const bool viewable = WaitFor([&] {
    XWindowAttributes attributes{};
    return window.window().shown() &&
           XGetWindowAttributes(fl_display, fl_xid(&window.window()), &attributes) &&
           attributes.map_state == IsViewable;
  });
  // No window manager on the test display: hand the window the keyboard as one would.
  if (viewable) XSetInputFocus(fl_display, fl_xid(&window.window()), RevertToParent, CurrentTime);
  Settle();
  return viewable;
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
  XSendEvent(fl_display, fl_xid(&window), False, NoEventMask, &event);
  XFlush(fl_display);
}

Screenshot Screenshot::Crop(int left, int top, int width, int height) const {
  Screenshot part{width, height, {}};
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) part.rgb.push_back(At(x, y));
  return part;
}

Screenshot Capture(Fl_Window& window) { return Read(fl_xid(&window), window.w(), window.h()); }

Screenshot Drawn(const Fl_Widget& label, int height, const std::string& text) {
  Fl_Offscreen offscreen = fl_create_offscreen(label.w(), height);
  fl_begin_offscreen(offscreen);
  fl_color(label.color());
  fl_rectf(0, 0, label.w(), height);
  fl_font(label.labelfont(), label.labelsize());
  fl_color(label.labelcolor());
  fl_draw(text.c_str(), 0, 0, label.w(), height, label.align(), nullptr, 1);
  Screenshot shot = Read(offscreen, label.w(), height);
  fl_end_offscreen();
  fl_delete_offscreen(offscreen);
  return shot;
}

SinkRecording::SinkRecording() {
  char name[] = "/tmp/velmora-sink.XXXXXX";
  close(mkstemp(name));
  file_ = name;
  const std::string device =
      std::string("--device=") + std::getenv("VELMORA_TEST_SINK") + ".monitor";
  const char* argv[] = {
      "parec",        device.c_str(),      "--raw", "--format=s16le", "--channels=1",
      "--rate=44100", "--latency-msec=10", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, file_.c_str(), O_WRONLY, 0);
  // Nor may it hold the test's own output open: whoever reads that waits for its end.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnp(&pid_, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  // The recording's first sample is what played when the stream began: date it from its length.
  long long bytes = 0;
  for (int wait = 0; wait < 500 && bytes <= 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bytes = std::ifstream(file_, std::ios::ate).tellg();
  }
  start_ = Clock::now() - std::chrono::microseconds(bytes * 1'000'000 / 2 / 44100);
}

SinkRecording::~SinkRecording() {
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  std::remove(file_.c_str());
}

int SinkRecording::Peak(Clock::time_point from, Clock::time_point to) const {
  const auto sample = [&](Clock::time_point at) {
    return std::max<long long>(0, (at - start_) / std::chrono::microseconds(1) * 441 / 10000);
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

}  // namespace velmora::testing
