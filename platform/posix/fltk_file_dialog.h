#pragma once
// The open-file dialog on the Linux desktop: FLTK's native chooser (the desktop's GTK dialog when
// GTK is installed, FLTK's own otherwise), driven by the Windows-style request record.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/open_file_dialog.h"

namespace velmora::posix {

// Which chooser FLTK runs: the desktop's GTK dialog, or its own when GTK is not installed.
enum class Chooser { Gtk, Fltk };

// The request's filter (description NUL pattern NUL ..., ending at an empty description or the end
// of the text) as FLTK's filter list, one "name TAB pattern" line per pair, such that the chooser
// shows each description as the program gave it and filters by its pattern.
std::string ChooserFilter(std::string_view windowsFilter, Chooser chooser = Chooser::Gtk);

// Writes the chosen path into the fixed-length buffer as the Windows dialog does: the path, a NUL,
// the rest untouched, the length unchanged. maxFile counts the terminating NUL, as does the
// buffer's own end. A path that does not fit changes nothing and gives false.
bool WriteChosenPath(std::string& buffer, std::uint32_t maxFile, std::string_view path);

class FltkFileDialog : public platform::OpenFileDialog {
 public:
  bool GetOpenFileName(platform::OpenFileName& request) override;
};

}  // namespace velmora::posix
