// Velmora on the Linux desktop: the GTK window and open dialog, the MCI layer over FluidSynth and
// the kernel's path services, handed to the program's window.
#include <cstdio>
#include <cstdlib>

#include "main_window/form1.h"
#include "platform/posix/engine_mci.h"
#include "platform/posix/gtk_open_file_dialog.h"
#include "platform/posix/gtk_window_system.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"

int main() {
  using namespace velmora;
  if (!posix::GtkWindowSystem::OpenDisplay()) {
    const auto named = [](const char* variable) {
      const char* value = std::getenv(variable);
      return value != nullptr ? value : "";
    };
    std::fprintf(stderr,
                 "velmora: cannot open a display (X11 DISPLAY \"%s\", WAYLAND_DISPLAY \"%s\"). "
                 "Velmora is a desktop program: start it from a desktop session.\n",
                 named("DISPLAY"), named("WAYLAND_DISPLAY"));
    return 1;
  }

  posix::GtkWindowSystem window(kForm1Design);
  posix::GtkOpenFileDialog dialog;
  posix::EngineMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  Form1 form({window, dialog, mci, files, clock});
  window.Show(form);
  return window.Run();
}
