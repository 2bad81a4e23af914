#include "tests/linux_desktop.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace velmora::testing {

namespace {

std::uint32_t Channel(unsigned long pixel, unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  return mask == 0 ? 0 : static_cast<std::uint32_t>(((pixel >> shift) & mask) * 255 / mask);
}

Screenshot Read(Drawable drawable, int w, int h) {
  Screenshot shot{w, h, {}};
  XImage* image = XGetImage(fl_display, drawable, 0, 0, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (image == nullptr) return shot;
  for (int y = 0; y < shot.h; ++y) {
    for (int x = 0; x < shot.w; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      // Pixmaps carry no colour masks of their own: the visual's, which FLTK draws with.
      const Visual& visual = *fl_visual->visual;
      shot.rgb.push_back(Channel(pixel, visual.red_mask) << 16 |
                         Channel(pixel, visual.green_mask) << 8 | Channel(pixel, visual.blue_mask));
    }
  }
  XDestroyImage(image);
  return shot;
}

}  // namespace

std::string WhyNoDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0')
    return "DISPLAY is not set: run under tests/desktop_session.sh";
  // Kept open for the life of the process: Xvfb resets itself when its last client leaves.
  static Display* const keptOpen = XOpenDisplay(name);
  return keptOpen == nullptr ? std::string("cannot open the X display ") + name : "";
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
  Fl_Window& shown = window.window();
  const bool viewable = WaitFor([&] {
    XWindowAttributes attributes{};
    return shown.shown() && XGetWindowAttributes(fl_display, fl_xid(&shown), &attributes) &&
           attributes.map_state == IsViewable;
  });
  // No window manager on the test display: hand the window the keyboard as one would.
  if (viewable) XSetInputFocus(fl_display, fl_xid(&shown), RevertToParent, CurrentTime);
  Settle();
  return viewable;
}

void ClickAt(const Fl_Widget& widget) {
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(fl_display, fl_xid(widget.top_window()), RootWindow(fl_display, fl_screen),
                        widget.x() + widget.w() / 2, widget.y() + widget.h() / 2, &x, &y, &child);
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
  XSendEvent(fl_display, fl_xid(&window), False, NoEventMask, &event);
  XFlush(fl_display);
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

ScreenRect ScreenRectOf(Fl_Window& window) {
  ScreenRect rect{};
  Window child = 0, root = 0;
  XTranslateCoordinates(fl_display, fl_xid(&window), RootWindow(fl_display, fl_screen), 0, 0,
                        &rect.x, &rect.y, &child);
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  XGetGeometry(fl_display, fl_xid(&window), &root, &x, &y, &w, &h, &border, &depth);
  rect.w = static_cast<int>(w);
  rect.h = static_cast<int>(h);
  return rect;
}

std::vector<unsigned long> Property(Fl_Window& window, const char* name, std::string* text) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> items;
  XGetWindowProperty(fl_display, fl_xid(&window), XInternAtom(fl_display, name, False), 0, 1 << 16,
                     False, AnyPropertyType, &type, &format, &count, &after, &data);
  if (data == nullptr) return items;
  if (format == 8 && text != nullptr) text->assign(reinterpret_cast<char*>(data), count);
  // Xlib hands 32-bit items out as longs, sign-extended.
  for (unsigned long i = 0; format == 32 && i < count; ++i)
    items.push_back(reinterpret_cast<unsigned long*>(data)[i] & 0xFFFFFFFFul);
  XFree(data);
  return items;
}

SinkRecording::SinkRecording() {
  char name[] = "/tmp/velmora-sink.XXXXXX";
  close(mkstemp(name));
  file_ = name;
  const char* sink = std::getenv("VELMORA_TEST_SINK");
  if (sink == nullptr) return;
  const std::string device = "--device=" + std::string(sink) + ".monitor";
  const char* argv[] = {
      "parec",        device.c_str(),      "--raw", "--format=s16le", "--channels=1",
      "--rate=44100", "--latency-msec=10", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, file_.c_str(), O_WRONLY | O_CREAT,
                                   0600);
  // Nor may it hold the test's own output open: whoever reads that waits for its end.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawnp(&pid_, "parec", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  // The recording's first sample is what played when the stream began: date it from its length.
  std::ifstream recorded(file_, std::ios::ate);
  for (int wait = 0; Live() && wait < 500 && recorded.tellg() <= 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    recorded = std::ifstream(file_, std::ios::ate);
  }
  start_ = Clock::now() - std::chrono::microseconds(recorded.tellg() * 1'000'000 / 2 / 44100);
}

SinkRecording::~SinkRecording() {
  if (Live()) kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0);
  std::remove(file_.c_str());
}

int SinkRecording::Peak(Clock::time_point from, Clock::time_point to) const {
  const auto sample = [&](Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count() * 44100 /
           1'000'000;
  };
  std::ifstream recorded(file_, std::ios::binary);
  recorded.seekg(std::max<long long>(0, sample(from)) * 2);
  int peak = 0;
  std::int16_t value = 0;
  for (long long n = sample(from);
       n < sample(to) && recorded.read(reinterpret_cast<char*>(&value), 2); ++n)
    peak = std::max(peak, std::abs(static_cast<int>(value)));
  return peak;
}

}  // namespace velmora::testing
