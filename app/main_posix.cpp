// Velmora on the Linux desktop: the GTK window and open dialog, the MCI layer over FluidSynth and
// the kernel's path services, handed to the program's window; one Velmora per desktop session,
// reached from the command line, drops on its window and the desktop's now-playing controls.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/command_line_posix.h"
#include "main_window/form1.h"
#include "platform/posix/desktop_application.h"
#include "platform/posix/engine_mci.h"
#include "platform/posix/file_to_open.h"
#include "platform/posix/gtk_open_file_dialog.h"
#include "platform/posix/gtk_window_system.h"
#include "platform/posix/mpris_player.h"
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

// The answer to --help, --version or an unknown option: the exit code; -1 to run.
int Answer(const velmora::CommandLine& line) {
  using Action = velmora::CommandLine::Action;
  switch (line.action) {
    case Action::Help: std::printf("%s\n%s", velmora::kUsage, velmora::kHelp); return 0;
    case Action::Version: std::printf("velmora %s\n", VELMORA_VERSION); return 0;
    case Action::Usage:
      std::fprintf(stderr, "velmora: %s\n%s", line.problem.c_str(), velmora::kUsage);
      return 2;
    case Action::Run: break;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora;
  const CommandLine line = ReadCommandLine(argc, argv);
  if (const int code = Answer(line); code >= 0) return code;
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

  posix::DesktopApplication application;
  if (application.Remote()) {
    application.HandOver(line.file);
    return 0;
  }
  posix::GtkWindowSystem window(kForm1Design);
  posix::GtkOpenFileDialog dialog;
  posix::EngineMci mci;
  posix::PosixFileSystem files;
  posix::PosixClock clock;
  posix::MprisPlayer nowPlaying(application.bus(), window);
  mci.SetPieceEndedHandler([&nowPlaying] { nowPlaying.PieceEnded(); });
  Form1 form({window, dialog, mci, files, clock, &nowPlaying});
  window.Show(form);
  // A session ends its programs with SIGTERM: close the window as its close button does.
  g_unix_signal_add(
      SIGTERM,
      +[](gpointer shown) -> gboolean {
        static_cast<posix::GtkWindowSystem*>(shown)->Close();
        return G_SOURCE_CONTINUE;
      },
      &window);
  window.AcceptFileDrops();
  application.Serve(window);
  if (line.file) {
    const std::string path = posix::FileToOpenFromArgument(line.file->c_str());
    window.Deliver([path](platform::WindowEvents& events) { events.OpenFile(path); });
  }
  return window.Run();
}
