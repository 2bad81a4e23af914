// Velmora on the Linux desktop: the GTK window and open dialog, the MCI layer over FluidSynth and
// the kernel's path services, handed to the program's window.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "main_window/form1.h"
#include "platform/posix/engine_mci.h"
#include "platform/posix/gtk_open_file_dialog.h"
#include "platform/posix/gtk_window_system.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "sound_engine/fluid_log.h"

namespace {

// What the whole process shares, chosen here once, before GTK and the sound engine start.
void ChooseProcessSettings() {
  using namespace velmora;
  // The desktop matches the window to its entry (org.velmora.Velmora.desktop) by the Wayland app
  // id, which GTK takes from the program's name, and by the X11 class.
  g_set_prgname(posix::kApplicationId);
  g_set_application_name(kForm1Design.caption.data());
  // Wayland lets no program place its own window, and the closing slide does: X11 (XWayland)
  // first wherever the desktop offers both.
  gdk_set_allowed_backends("x11,wayland");
  // The window draws nothing with OpenGL: GDK need not load the GL driver (Mesa's LLVM rasterizer
  // here: 50 MiB and 40 ms) to find GL visuals. A user's own GDK_GL setting stands.
  g_setenv("GDK_GL", "disable", FALSE);
  posix::RouteFluidSynthLog();
}

}  // namespace

int main() {
  using namespace velmora;
  ChooseProcessSettings();
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
  // A session ends its programs with SIGTERM: close the window as its close button does.
  g_unix_signal_add(
      SIGTERM,
      +[](gpointer shown) -> gboolean {
        static_cast<posix::GtkWindowSystem*>(shown)->Close();
        return G_SOURCE_CONTINUE;
      },
      &window);
  return window.Run();
}
