#pragma once
// The open-file dialog on the Linux desktop: GTK's file chooser, or the desktop portal's where the
// session asks for it, driven by the Windows-style request record.

#include <gtk/gtk.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/open_file_dialog.h"

namespace velmora::posix {

// The request's filter (description NUL pattern NUL ..., ending at an empty description or the end
// of the text) as GTK file filters, floating: one per pair, named by the description as given and
// matching its patterns (";" between them) whatever the case of a name, as Windows does.
std::vector<GtkFileFilter*> ChooserFilters(std::string_view windowsFilter);

// Writes the chosen path into the fixed-length buffer as the Windows dialog does: the path, a NUL,
// the rest untouched, the length unchanged. maxFile counts the terminating NUL, as does the
// buffer's own end. A path that does not fit changes nothing and gives false.
bool WriteChosenPath(std::string& buffer, std::uint32_t maxFile, std::string_view path);

class GtkOpenFileDialog : public platform::OpenFileDialog {
 public:
  // No owner window and not modal: the program's window stays usable while it is open, its
  // handlers running inside the dialog's loop.
  bool GetOpenFileName(platform::OpenFileName& request) override;
};

}  // namespace velmora::posix
