#pragma once
// The kernel's file-name services: the short form of a path, the current directory, and the one
// platform fact the program's own code uses, the character that separates folders in a path.

#include <cstdint>
#include <span>
#include <string>

namespace velmora::platform {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // As GetShortPathName: the length written (without its NUL); 0 when the file cannot be found; or,
  // when the buffer is too small, the size needed including the NUL, the buffer left untouched.
  // The long path is read up to its first NUL.
  virtual std::uint32_t GetShortPathName(const std::string& longPath, std::span<char> buffer) = 0;
  virtual std::string GetCurrentDirectory() = 0;
  virtual char PathSeparator() const = 0;
};

}  // namespace velmora::platform
