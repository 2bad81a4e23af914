#include "sound_engine/midi_file_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sound_engine/mci_errors.h"

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
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Fills `into` from `offset` on, as far as the file goes.
std::int64_t ReadAt(int fd, std::uint64_t offset, std::span<std::uint8_t> into) {
  std::size_t filled = 0;
  while (filled < into.size()) {
    const ssize_t got =
        pread(fd, into.data() + filled, into.size() - filled, static_cast<off_t>(offset + filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(filled);
}

}  // namespace

std::optional<MidiPiece> LoadMidiPiece(const std::string& path, const MemoryProbe& freeMemory,
                                       MciError& error, MemoryShortfall& shortfall) {
  // A FIFO, a device or a folder is refused before it is opened, and the open itself cannot block,
  // so a strange file never freezes the caller.
  const auto refuse = [&error](MciError code) {
    error = code;
    return std::nullopt;
  };
  struct stat info = {};
  if (stat(path.c_str(), &info) != 0) return refuse(err::kFileNotFound);
  if (!S_ISREG(info.st_mode)) return refuse(err::kInvalidFile);
  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return refuse(errno == ENOENT ? err::kFileNotFound : err::kFileRead);
  // The name may have been pointed elsewhere between the two looks.
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return refuse(err::kInvalidFile);

  const ReadBytesAt read = [fd = file.get()](std::uint64_t offset, std::span<std::uint8_t> into) {
    return ReadAt(fd, offset, into);
  };
  MidiFileLayout layout;
  error = ReadMidiFileLayout(static_cast<std::uint64_t>(info.st_size), read, layout);
  if (error != platform::kMciOk) return std::nullopt;
  shortfall = {MidiPiece::MemoryNeeded(layout), freeMemory()};
  if (shortfall.free && shortfall.needed > *shortfall.free) return refuse(err::kOutOfMemory);
  return MidiPiece::Read(layout, read, error);
}

}  // namespace velmora::posix
