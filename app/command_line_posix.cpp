#include "app/command_line_posix.h"

#include <string_view>

namespace velmora {

const char kUsage[] = "Usage: velmora [FILE]\n";
const char kHelp[] =
    "Plays a Standard MIDI File in a small window.\n"
    "\n"
    "FILE, a path or a file:// URI, is opened and played at once. When Velmora is already\n"
    "running in this desktop session, the file is handed to its window, which plays it instead.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";

CommandLine ReadCommandLine(int argc, char** argv) {
  CommandLine line;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && (argument == "--help" || argument == "-h")) {
      return {CommandLine::Action::Help, {}, {}};
    } else if (options && (argument == "--version" || argument == "-V")) {
      return {CommandLine::Action::Version, {}, {}};
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      return {CommandLine::Action::Usage, {}, "unknown option " + std::string(argument)};
    } else if (!line.file && !argument.empty()) {
      line.file = std::string(argument);  // a second file is not played: the first stands
    }
  }
  return line;
}

}  // namespace velmora
