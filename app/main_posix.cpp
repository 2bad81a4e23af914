// Velmora on the Linux desktop: the FLTK window and open dialog, the MCI layer over FluidSynth and
// the kernel's path services, handed to the program's window.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

#include "main_window/form1.h"
#include "platform/posix/fltk_file_dialog.h"
#include "platform/posix/fltk_window.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"

namespace {
// FLTK ends the process with a terse message when it cannot reach the display; say what is missing
// before any window is attempted.
bool DisplayReachable() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}
}  // namespace

int main() {
  if (!DisplayReachable()) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(
        stderr,
        "velmora: cannot open the X display \"%s\". Velmora is a desktop program: start it "
        "from a desktop session (or set DISPLAY).\n",
        name != nullptr ? name : "");
    return 1;
  }

  using namespace velmora;
  posix::FltkWindow window(kForm1Design);
  posix::FltkFileDialog dialog;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form({window, dialog, mci, files, clock});
  window.Show(form);
  return window.Run();
}
