#pragma once
// velmora's command line: [FILE], --help, --version.

#include <optional>
#include <string>

namespace velmora {

struct CommandLine {
  enum class Action { Run, Help, Version, Usage };
  Action action = Action::Run;
  // The file to open as given (a path or a URI); nothing when none, or when it was empty.
  std::optional<std::string> file;
  std::string problem;  // why the command line is refused, for Usage
};

CommandLine ReadCommandLine(int argc, char** argv);

// The texts the program prints; usage ends with a new line.
extern const char kUsage[];
extern const char kHelp[];

}  // namespace velmora
