#pragma once
// kernel32's path services through the "A" family.

#include "platform/file_system.h"

namespace velmora::win32 {

class Win32FileSystem : public platform::FileSystem {
 public:
  // Paths are read in codePage: 0, the process's own (the manifest's UTF-8, or the system's ANSI
  // code page on Windows before 10 1903).
  explicit Win32FileSystem(std::uint32_t codePage = 0) : codePage_(codePage) {}
  std::uint32_t GetShortPathName(const std::string& longPath, std::span<char> buffer) override;
  std::string GetCurrentDirectory() override;
  char PathSeparator() const override { return '\\'; }
  std::size_t TitleStart(std::string_view path) const override;

 private:
  std::uint32_t codePage_;
};

}  // namespace velmora::win32
