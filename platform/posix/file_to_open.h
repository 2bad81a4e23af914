#pragma once
// A file handed to the program from outside its dialog (the command line, a drop, a second launch,
// the desktop's media controls), as the name the window opens.

#include <gio/gio.h>

#include <string>

namespace velmora::posix {

// The file's absolute local path, in the file system's own bytes as the open dialog gives it; for
// a file no local path reaches (another URI scheme), its URI, which the window then fails to open
// as it fails a file that has gone.
std::string FileToOpen(GFile* file);
// A URI, or a path or URI as typed on this process's command line.
std::string FileToOpenFromUri(const char* uri);
std::string FileToOpenFromArgument(const char* argument);

}  // namespace velmora::posix
