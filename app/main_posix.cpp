// Velmora on the Linux desktop: the GTK window and open dialog, the MCI layer over FluidSynth and
// the kernel's path services, handed to the program's window; one Velmora per desktop session,
// reached from the command line, drops on its window and the desktop's now-playing controls.
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

namespace {

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
  window.AcceptFileDrops();
  application.Serve(window);
  if (line.file) {
    const std::string path = posix::FileToOpenFromArgument(line.file->c_str());
    window.Deliver([path](platform::WindowEvents& events) { events.OpenFile(path); });
  }
  return window.Run();
}
