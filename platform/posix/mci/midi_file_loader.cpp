#include "platform/posix/mci/midi_file_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/posix/mci/mci_errors.h"
#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Bytes, or nothing when the system does not say.
std::optional<std::int64_t> AvailableMemory() {
  if (const char* setting = std::getenv("VELMORA_MEMORY_AVAILABLE_MB"))
    return std::int64_t{std::atoll(setting)} * 1000000;
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  std::int64_t kib = 0;
  while (meminfo >> name >> kib) {
    if (name == "MemAvailable:") return kib * 1024;
    meminfo.ignore(64, '\n');
  }
  return std::nullopt;
}

bool FitsInMemory(std::int64_t fileBytes) {
  const auto available = AvailableMemory();
  return !available || fileBytes <= *available / kMemoryPerFileByte;
}

// A FIFO, a device or a folder is refused before it is opened, and the open itself cannot block,
// so a strange file never freezes the caller.
MciError ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                       std::int64_t& fileBytes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return err::kFileNotFound;
  if (!S_ISREG(info.st_mode)) return err::kInvalidFile;
  fileBytes = info.st_size;
  if (!FitsInMemory(fileBytes)) return err::kOutOfMemory;

  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return errno == ENOENT ? err::kFileNotFound : err::kFileRead;
  // The name may have been pointed elsewhere between the two looks.
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return err::kInvalidFile;
  fileBytes = info.st_size;
  if (!FitsInMemory(fileBytes)) return err::kOutOfMemory;

  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return err::kFileRead;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return platform::kMciOk;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> LoadMidiFile(const std::string& path, MciError& error,
                                                      std::int64_t& fileBytes) {
  std::optional<std::vector<std::uint8_t>> normalised;
  {
    std::vector<std::uint8_t> file;
    error = ReadWholeFile(path, file, fileBytes);
    if (error != platform::kMciOk) return std::nullopt;
    normalised = NormalizeStandardMidiFile(file);
  }
  error = normalised ? platform::kMciOk : err::kInvalidFile;
  return normalised;
}

}  // namespace velmora::posix
