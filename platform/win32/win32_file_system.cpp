#include "platform/win32/win32_file_system.h"
#include "platform/win32/windows_api.h"

namespace velmora::win32 {

std::uint32_t Win32FileSystem::GetShortPathName(const std::string& longPath,
                                                std::span<char> buffer) {
  return GetShortPathNameA(longPath.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
}

std::string Win32FileSystem::GetCurrentDirectory() {
  const DWORD needed = GetCurrentDirectoryA(0, nullptr);  // counts the NUL
  if (needed == 0) return {};
  std::string directory(needed, '\0');
  const DWORD length = GetCurrentDirectoryA(needed, directory.data());
  directory.resize(length < needed ? length : 0);
  return directory;
}

// Walked a character at a time: in code pages 932, 936 and 950 the second byte of a character
// may be 0x5C, the backslash's.
std::size_t Win32FileSystem::TitleStart(std::string_view path) const {
  const std::string text(path);  // CharNextExA stops at a NUL
  const char* at = text.c_str();
  std::size_t start = 0;
  while (*at != '\0') {
    const char* next = CharNextExA(static_cast<WORD>(codePage_), at, 0);
    if (next == at) break;
    if (*at == '\\' && next == at + 1) start = static_cast<std::size_t>(next - text.c_str());
    at = next;
  }
  return start;
}

}  // namespace velmora::win32
