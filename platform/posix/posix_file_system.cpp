#include "platform/posix/posix_file_system.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

namespace velmora::posix {

std::uint32_t PosixFileSystem::GetShortPathName(const std::string& longPath,
                                                std::span<char> buffer) {
  const std::string path = longPath.substr(0, longPath.find('\0'));
  if (path.empty()) return 0;
  const std::unique_ptr<char, decltype(&std::free)> canonical(realpath(path.c_str(), nullptr),
                                                              &std::free);
  if (!canonical) return 0;  // missing, or a folder on the way cannot be read

  const std::string_view shortForm(canonical.get());
  if (shortForm.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(shortForm.size() + 1);
  std::copy(shortForm.begin(), shortForm.end(), buffer.begin());
  buffer[shortForm.size()] = '\0';
  return static_cast<std::uint32_t>(shortForm.size());
}

std::string PosixFileSystem::GetCurrentDirectory() {
  const std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
  return directory ? std::string(directory.get()) : std::string();
}

}  // namespace velmora::posix
