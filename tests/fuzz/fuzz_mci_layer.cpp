// Fuzzes what the Linux MCI layer reads from outside. The first byte chooses:
// - a command string: any text is a command or an error code that has a text, and the open command
//   the program builds for any absolute path reads back as exactly that path;
// - a file's bytes: refused, or rewritten into a file the check takes back unchanged.
#include <cstdlib>
#include <string>

#include "platform/posix/mci/mci_command.h"
#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/mci/standard_midi_file.h"

using namespace velmora::posix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    const auto once = NormalizeStandardMidiFile({data + 1, size - 1});
    if (once && NormalizeStandardMidiFile(*once) != once) std::abort();
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const ParsedMciCommand any = ParseMciCommand(text);
  if (any.error != 0 ? mci_error::Text(any.error).empty()
                     : any.command.verb == MciVerb::Open && any.command.element.empty())
    std::abort();
  const std::string path = "/" + text.substr(0, text.find('\0'));  // a short form on Linux
  const bool quoted = path.find(' ') != std::string::npos;
  const auto sent = ParseMciCommand("open " + (quoted ? '"' + path + '"' : path) +
                                    " type sequencer alias mcitest");
  if (sent.error != 0 || sent.command.element != path || sent.command.deviceName != "mcitest")
    std::abort();
  return 0;
}
