// Fuzzes the program's own code on the fake platform with whatever a dialog or a kernel could hand
// it: any bytes in the dialog's buffer, any short form, any lists and count for the filter. Nothing
// may crash, and the title is what follows the buffer's last separator.
#include <cstdlib>
#include <cstring>

#include "file_picker/module1.h"
#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 20) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  float count;
  std::memcpy(&count, data, sizeof count);
  const std::vector<std::string> lists{input.substr(4, 8), input.substr(12, 8)};
  try {
    const std::string filter = Module1::BuildFilter(lists, lists, count < 4 ? count : 4);
    if (filter.size() % 29 != 0) std::abort();  // each type: 8 + " (" + 8 + ")" NUL 8 NUL
  } catch (const std::out_of_range&) {
  }

  fake::FakePlatform platform;
  platform.separator = (data[0] & 1) ? '/' : '\\';
  const std::string buffer = input.substr(4, 254), shortForm = input.substr(4 + buffer.size());
  platform.dialogAnswers.push_back([&](platform::OpenFileName& request) {
    buffer.copy(request.file.data(), request.file.size());
    return true;
  });
  Form1 form(platform.host());
  form.CmdGetMidFile_Click();
  const std::size_t slash = form.FileName.rfind(platform.separator);
  if (slash != std::string::npos && form.FileTitle != form.FileName.substr(slash + 1)) std::abort();
  platform.shortPaths[form.FileName] = shortForm.substr(0, shortForm.find('\0'));
  form.cmdPlay_Click();
  form.cmdStop_Click();
  return 0;
}
