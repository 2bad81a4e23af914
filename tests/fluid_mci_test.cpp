// The MCI layer on FluidSynth: device lifetime by alias, the error codes of each failure, files
// that must be refused before anything reads them, and nothing left running after close.
// Sound goes to FluidSynth's file driver writing /dev/null, so no sound server is needed here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "midi_fixtures.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {
namespace {

namespace err = mci_error;
using Clock = std::chrono::steady_clock;

int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

class FluidMciTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VELMORA_AUDIO_DRIVER", "file", 1);
    setenv("VELMORA_AUDIO_FILE", "/dev/null", 1);
    unsetenv("VELMORA_SOUNDFONT");
    tune_ = folder_.Write("tune.mid", testing::SmallTune()).string();
  }
  void TearDown() override {
    unsetenv("VELMORA_AUDIO_DRIVER");
    unsetenv("VELMORA_AUDIO_FILE");
    unsetenv("VELMORA_SOUNDFONT");
  }

  platform::MciError Open(const std::string& element, const std::string& alias = "mcitest") {
    return mci_.SendString("open " + element + " type sequencer alias " + alias);
  }

  testing::TempFolder folder_;
  std::string tune_;
  FluidMci mci_;
};

TEST_F(FluidMciTest, OpenPlayCloseByAliasAndAliasesAreFreedOnClose) {
  ASSERT_EQ(Open(tune_), platform::kMciOk);
  EXPECT_EQ(mci_.SendString("play mcitest"), platform::kMciOk);
  EXPECT_EQ(mci_.SendString("PLAY MciTest"), platform::kMciOk);  // aliases ignore case
  EXPECT_EQ(Open(tune_), err::kDuplicateAlias);
  EXPECT_EQ(Open(tune_, "MCITEST"), err::kDuplicateAlias);
  EXPECT_EQ(mci_.SendString("close mcitest"), platform::kMciOk);
  EXPECT_EQ(mci_.SendString("close mcitest"), err::kInvalidDeviceName);
  EXPECT_EQ(mci_.SendString("play mcitest"), err::kInvalidDeviceName);
  EXPECT_EQ(Open(tune_), platform::kMciOk);  // the alias is free again
  EXPECT_EQ(mci_.SendString("close mcitest"), platform::kMciOk);
}

TEST_F(FluidMciTest, CloseAllClosesEveryDeviceAndSucceedsWithNoneOpen) {
  EXPECT_EQ(mci_.SendString("close all"), platform::kMciOk);
  ASSERT_EQ(Open(tune_, "one"), platform::kMciOk);
  ASSERT_EQ(Open(tune_, "two"), platform::kMciOk);
  EXPECT_EQ(mci_.SendString("close all"), platform::kMciOk);
  EXPECT_EQ(mci_.SendString("play one"), err::kInvalidDeviceName);
  EXPECT_EQ(mci_.SendString("play two"), err::kInvalidDeviceName);
}

TEST_F(FluidMciTest, CloseStopsEverythingItStarted) {
  const int before = ThreadCount();
  ASSERT_EQ(Open(tune_), platform::kMciOk);
  ASSERT_EQ(mci_.SendString("play mcitest"), platform::kMciOk);
  EXPECT_GT(ThreadCount(), before);  // the sound output runs on its own thread
  ASSERT_EQ(mci_.SendString("close mcitest"), platform::kMciOk);
  // The output's thread ends on a thread of its own, soon after close has returned.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
  while (ThreadCount() > before && Clock::now() < deadline) usleep(5000);
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(FluidMciTest, TheDeviceStaysOpenAfterThePieceEnds) {
  const auto shortTune = testing::Join(
      {testing::Header(0, 1), testing::Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x01, 0x80, 0x3C,
                                                      0x40, 0x00, 0xFF, 0x2F, 0x00})});
  ASSERT_EQ(Open(folder_.Write("short.mid", shortTune).string()), platform::kMciOk);
  ASSERT_EQ(mci_.SendString("play mcitest"), platform::kMciOk);
  usleep(300 * 1000);  // the piece lasts a few milliseconds
  EXPECT_EQ(Open(tune_), err::kDuplicateAlias);
  EXPECT_EQ(mci_.SendString("close mcitest"), platform::kMciOk);
}

TEST_F(FluidMciTest, OpenFailsWithTheCodeOfEachFault) {
  EXPECT_EQ(Open((folder_.path() / "missing.mid").string()), err::kFileNotFound);
  EXPECT_EQ(Open((folder_.path() / "no-folder" / "x.mid").string()), err::kFileNotFound);
  const auto text = folder_.Write("text.mid", {'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'});
  EXPECT_EQ(Open(text.string()), err::kInvalidFile);
  EXPECT_EQ(Open(folder_.Write("empty.mid", {}).string()), err::kInvalidFile);
  if (geteuid() != 0) {  // root reads every file
    const auto locked = folder_.Write("locked.mid", testing::SmallTune());
    chmod(locked.c_str(), 0);
    EXPECT_EQ(Open(locked.string()), err::kFileRead);
  }
  // A failed open leaves the alias free.
  EXPECT_EQ(mci_.SendString("close mcitest"), err::kInvalidDeviceName);
}

TEST_F(FluidMciTest, FoldersFifosAndHugeFilesAreRefusedAtOnce) {
  const auto folder = folder_.path() / "folder.mid";
  std::filesystem::create_directory(folder);
  const auto fifo = folder_.path() / "fifo.mid";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // nobody will ever write to it
  const auto huge = folder_.path() / "huge.mid";
  {
    const int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, std::int64_t{1} << 40), 0);  // sparse: costs no disk
    close(fd);
  }
  for (const auto& path : {folder, fifo, huge, std::filesystem::path("/dev/zero")}) {
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Open(path.string()), path == huge ? err::kOutOfMemory : err::kInvalidFile) << path;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1)) << path;
  }
}

TEST_F(FluidMciTest, FileNamesWithBlanksAndQuotes) {
  const auto blanks = folder_.Write("my tune.mid", testing::SmallTune());
  EXPECT_EQ(Open('"' + blanks.string() + '"', "a"), platform::kMciOk);
  const auto quotes = folder_.Write("say \"hi\" now.mid", testing::SmallTune());
  EXPECT_EQ(Open('"' + quotes.string() + '"', "b"), platform::kMciOk);
  EXPECT_EQ(Open(blanks.string(), "c"),
            err::kUnrecognizedKeyword);  // unquoted: "tune.mid" is no keyword
  EXPECT_EQ(mci_.SendString("close all"), platform::kMciOk);
}

TEST_F(FluidMciTest, MissingSoundFontOrSoundOutputIsAnErrorNotAHang) {
  setenv("VELMORA_SOUNDFONT", "/nonexistent/none.sf2", 1);
  EXPECT_EQ(Open(tune_), err::kCannotLoadDriver);
  unsetenv("VELMORA_SOUNDFONT");

  const char* server = std::getenv("PULSE_SERVER");
  const std::string savedServer = server ? server : "";
  setenv("PULSE_SERVER", ("unix:" + (folder_.path() / "no-server").string()).c_str(), 1);
  setenv("VELMORA_AUDIO_DRIVER", "pulseaudio", 1);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(Open(tune_), err::kNoSoundOutput);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  if (server) {
    setenv("PULSE_SERVER", savedServer.c_str(), 1);
  } else {
    unsetenv("PULSE_SERVER");
  }
  EXPECT_EQ(mci_.SendString("play mcitest"), err::kInvalidDeviceName);
}

TEST_F(FluidMciTest, ErrorTextsFitTheBufferAndUnknownCodesHaveNone) {
  char text[255];
  ASSERT_TRUE(mci_.GetErrorString(err::kNoSoundOutput, text));
  EXPECT_EQ(std::string(text), err::Text(err::kNoSoundOutput));
  char small[8];
  std::fill(std::begin(small), std::end(small), 'x');
  ASSERT_TRUE(mci_.GetErrorString(err::kFileNotFound, small));
  EXPECT_EQ(std::string(small), std::string(err::Text(err::kFileNotFound).substr(0, 7)));
  char unused[16] = "untouched";
  EXPECT_FALSE(mci_.GetErrorString(0, unused));
  EXPECT_FALSE(mci_.GetErrorString(12345, unused));
  EXPECT_STREQ(unused, "untouched");
}

}  // namespace
}  // namespace velmora::posix
