#pragma once
// The kernel's path services on Linux. A file has no short name here: its short form is its
// canonical absolute path, which needs no quoting unless it holds blanks.

#include "platform/file_system.h"

namespace velmora::posix {

inline constexpr char kPathSeparator = '/';

class PosixFileSystem final : public platform::FileSystem {
 public:
  std::uint32_t GetShortPathName(const std::string& longPath, std::span<char> buffer) override;
  std::string GetCurrentDirectory() override;
  char PathSeparator() const override { return kPathSeparator; }
};

}  // namespace velmora::posix
