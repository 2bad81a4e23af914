#pragma once
// comdlg32's open-file dialog through GetOpenFileNameA and the OPENFILENAMEA record in its
// pre-extension size.

#include "platform/open_file_dialog.h"

namespace velmora::win32 {

class Win32OpenFileDialog : public platform::OpenFileDialog {
 public:
  bool GetOpenFileName(platform::OpenFileName& request) override;
};

}  // namespace velmora::win32
