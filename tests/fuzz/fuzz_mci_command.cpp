// Fuzzes the MCI command parser: any text gives a command or an error code that has a text, and
// the open command the program builds for any absolute path reads back as exactly that path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/mci/mci_command.h"
#include "platform/posix/mci/mci_errors.h"

using namespace velmora::posix;

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const ParsedMciCommand any = ParseMciCommand(text);
  if (any.error != velmora::platform::kMciOk) {
    Require(!mci_error::Text(any.error).empty());
  } else if (any.command.verb == MciVerb::Open) {
    Require(!any.command.element.empty());
    Require(!any.command.deviceName.empty());
  }

  // The short form on Linux is an absolute path without NUL; blanks make the program quote it.
  const std::string path = "/" + text.substr(0, text.find('\0'));
  const bool quoted = path.find(' ') != std::string::npos;
  const std::string command =
      "open " + (quoted ? '"' + path + '"' : path) + " type sequencer alias mcitest";
  const ParsedMciCommand sent = ParseMciCommand(command);
  Require(sent.error == velmora::platform::kMciOk);
  Require(sent.command.verb == MciVerb::Open);
  Require(sent.command.element == path);
  Require(sent.command.deviceName == "mcitest");
  return 0;
}
