// The short form of a path on Linux: the canonical absolute path, with the Windows call's rules
// for a missing file and for a buffer too small.
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "midi_fixtures.h"
#include "platform/posix/posix_file_system.h"

namespace velmora::posix {
namespace {

class ShortPath : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_.path() / "a b" / "c");
    file_ = folder_.Write("a b/c/tune.mid", testing::SmallTune());
    canonical_ = std::filesystem::canonical(file_).string();
  }
  testing::TempFolder folder_;
  std::filesystem::path file_;
  std::string canonical_;
  PosixFileSystem files_;
};

TEST_F(ShortPath, IsTheCanonicalAbsolutePathNulTerminated) {
  std::string buffer(255, '\0');
  const std::string winding =
      (folder_.path() / "a b" / "." / "c" / ".." / "c" / "tune.mid").string();
  const std::uint32_t length = files_.GetShortPathName(winding, buffer);
  ASSERT_EQ(length, canonical_.size());
  EXPECT_EQ(buffer.substr(0, length), canonical_);
  EXPECT_EQ(buffer[length], '\0');
  // The long path counts up to its first NUL, as the call reads it.
  EXPECT_EQ(files_.GetShortPathName(file_.string() + std::string("\0junk", 5), buffer), length);
  EXPECT_EQ(files_.PathSeparator(), '/');
}

TEST_F(ShortPath, FollowsSymbolicLinksAndResolvesRelativePaths) {
  const auto link = folder_.path() / "link.mid";
  std::filesystem::create_symlink(file_, link);
  std::string buffer(255, '\0');
  ASSERT_EQ(files_.GetShortPathName(link.string(), buffer), canonical_.size());
  EXPECT_EQ(buffer.substr(0, canonical_.size()), canonical_);

  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_.path() / "a b");
  std::string relative(255, '\0');
  EXPECT_EQ(files_.GetShortPathName("c/tune.mid", relative), canonical_.size());
  EXPECT_EQ(files_.GetCurrentDirectory(),
            std::filesystem::canonical(folder_.path() / "a b").string());
  std::filesystem::current_path(previous);
}

TEST_F(ShortPath, IsZeroForAFileThatDoesNotExist) {
  std::string buffer(255, 'x');
  EXPECT_EQ(files_.GetShortPathName((folder_.path() / "gone.mid").string(), buffer), 0u);
  EXPECT_EQ(files_.GetShortPathName("", buffer), 0u);
  EXPECT_EQ(buffer, std::string(255, 'x'));
}

TEST_F(ShortPath, ATooSmallBufferGetsTheNeededSizeAndStaysUntouched) {
  const auto needed = static_cast<std::uint32_t>(canonical_.size() + 1);
  std::string tooSmall(canonical_.size(), '\0');  // room for everything but the NUL
  EXPECT_EQ(files_.GetShortPathName(file_.string(), tooSmall), needed);
  EXPECT_EQ(tooSmall, std::string(canonical_.size(), '\0'));
  std::string exact(needed, '\0');
  EXPECT_EQ(files_.GetShortPathName(file_.string(), exact), needed - 1);
  EXPECT_EQ(exact.substr(0, canonical_.size()), canonical_);
}

}  // namespace
}  // namespace velmora::posix
