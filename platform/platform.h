#pragma once
// Everything the program reaches of its host, one interface per concern. Each platform folder
// (posix, win32, fake) implements them; the program's own code sees nothing else.

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/mci.h"
#include "platform/now_playing.h"
#include "platform/open_file_dialog.h"
#include "platform/window_system.h"

namespace velmora::platform {

struct Platform {
  WindowSystem& window;
  OpenFileDialog& dialog;
  Mci& mci;
  FileSystem& files;
  Clock& clock;
  // The desktop's now-playing controls, where the platform has them.
  NowPlaying* nowPlaying = nullptr;
};

}  // namespace velmora::platform
