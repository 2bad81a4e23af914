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

}  // namespace velmora::win32
