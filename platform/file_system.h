#pragma once
// The kernel's file-name services: the short form of a path, the current directory, and the one
// platform fact the program's own code uses, the character that separates folders in a path.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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
  // Where the file's own name starts in a path: just after its last separator, found by the
  // platform's character rules (in a two-byte code page a character's second byte may equal the
  // separator's); 0 when the path has none.
  virtual std::size_t TitleStart(std::string_view path) const {
    const std::size_t last = path.rfind(PathSeparator());
    return last == std::string_view::npos ? 0 : last + 1;
  }
};

}  // namespace velmora::platform
