#pragma once
// kernel32's path services through the "A" family.

#include "platform/file_system.h"

namespace velmora::win32 {

class Win32FileSystem : public platform::FileSystem {
 public:
  std::uint32_t GetShortPathName(const std::string& longPath, std::span<char> buffer) override;
  std::string GetCurrentDirectory() override;
  char PathSeparator() const override { return '\\'; }
};

}  // namespace velmora::win32
