#pragma once
// The system's open-file dialog, driven by a record with the fields of the Windows OPENFILENAME
// request. Each platform lays it out (or interprets it) its own way.

#include <cstdint>
#include <string>

#include "platform/window_system.h"

namespace velmora::platform {

struct OpenFileName {
  std::uintptr_t owner = 0;  // 0: no owner window, so the main window stays enabled
  InstanceHandle instance = 0;
  // Pairs of description NUL pattern NUL; the list ends with one more NUL, added at the call.
  std::string filter;
  std::uint32_t filterIndex = 0;
  // Fixed-length buffers: the dialog writes inside them and never changes their length. The stated
  // sizes count the NUL that terminates each buffer at the call.
  std::string file;
  std::uint32_t maxFile = 0;
  std::string fileTitle;
  std::uint32_t maxFileTitle = 0;
  std::string initialDir;
  std::string title;
  std::uint32_t flags = 0;
};

class OpenFileDialog {
 public:
  virtual ~OpenFileDialog() = default;
  // Modal: runs its own event loop until the user chooses or cancels. True when a file was chosen.
  virtual bool GetOpenFileName(OpenFileName& request) = 0;
};

}  // namespace velmora::platform
