// Fuzzes what the window does with the dialog's buffer: any bytes the dialog leaves, any short form
// the kernel gives. The title must be what follows the last separator, Play must show only with a
// separator, and the open command must carry the element intact.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"

using namespace velmora;

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fake::FakePlatform platform;
  platform.separator = (data[0] & 1) ? '/' : '\\';
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string buffer = input.substr(0, 254);
  const std::string shortForm = input.size() > 254 ? input.substr(254) : buffer;

  platform.dialogAnswers.push_back([&](platform::OpenFileName& request) {
    buffer.copy(request.file.data(), request.file.size());
    return true;
  });
  Form1 form(platform.host());
  form.CmdGetMidFile_Click();

  const std::string name = form.FileName;
  Require(name.find('\0') == std::string::npos);
  Require(name.size() <= 254);
  const std::size_t slash = name.rfind(platform.separator);
  Require(platform.visible[ControlId::cmdPlay] == (slash != std::string::npos));
  if (slash == std::string::npos) return 0;
  Require(form.SlashPos == static_cast<std::int16_t>(slash + 1));
  Require(form.FileTitle == name.substr(slash + 1));

  platform.shortPaths[name] = shortForm.substr(0, shortForm.find('\0'));
  form.cmdPlay_Click();
  const auto opens = platform.callsStartingWith("SendString open ");
  const std::string element = platform.shortPaths[name];
  if (element.empty()) {
    Require(opens.empty());  // nothing to open: shown as file not found
    Require(platform.visible[ControlId::CmdGetMidFile]);
  } else {
    Require(opens.size() == 1);
    const bool quoted = element.find(' ') != std::string::npos;
    const std::string expected = "SendString open " + (quoted ? '"' + element + '"' : element) +
                                 " type sequencer alias mcitest";
    Require(opens.front() == expected);
  }
  return 0;
}
