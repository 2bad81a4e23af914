#include "platform/win32/win32_open_file_dialog.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace velmora::win32 {

namespace {

// OPENFILENAME_SIZE_VERSION_400A: the record up to lpTemplateName, before the extension fields.
constexpr std::size_t kRecordSize400 =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName);
static_assert(kRecordSize400 == (sizeof(void*) == 4 ? 76 : 136));

// A fixed-length text as the "A" function sees it: its characters, a NUL, and room up to the stated
// size should the stated size be the larger.
std::vector<char> CallBuffer(const std::string& text, std::uint32_t statedSize) {
  std::vector<char> buffer(std::max<std::size_t>(text.size() + 1, statedSize), '\0');
  std::copy(text.begin(), text.end(), buffer.begin());
  return buffer;
}

// Back from the call at its full length: the dialog writes inside the text, never past it.
void CopyBack(const std::vector<char>& buffer, std::string& text) {
  std::copy_n(buffer.begin(), text.size(), text.begin());
}

}  // namespace

bool Win32OpenFileDialog::GetOpenFileName(platform::OpenFileName& request) {
  std::vector<char> file = CallBuffer(request.file, request.maxFile);
  std::vector<char> fileTitle = CallBuffer(request.fileTitle, request.maxFileTitle);
  // The filter's c_str adds the NUL that closes its list of pairs.
  const std::string& filter = request.filter;

  OPENFILENAMEA record{};
  record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // == kRecordSize400
  record.hwndOwner = reinterpret_cast<HWND>(request.owner);
  record.hInstance = reinterpret_cast<HINSTANCE>(request.instance);
  record.lpstrFilter = filter.c_str();
  record.nFilterIndex = request.filterIndex;
  record.lpstrFile = file.data();
  record.nMaxFile = request.maxFile;
  record.lpstrFileTitle = fileTitle.data();
  record.nMaxFileTitle = request.maxFileTitle;
  record.lpstrInitialDir = request.initialDir.c_str();
  record.lpstrTitle = request.title.c_str();
  record.Flags = request.flags;

  const bool chosen = GetOpenFileNameA(&record) != FALSE;
  CopyBack(file, request.file);
  CopyBack(fileTitle, request.fileTitle);
  return chosen;
}

}  // namespace velmora::win32
