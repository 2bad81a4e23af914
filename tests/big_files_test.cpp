// Big files and the kept synthesizer, through the layer's command strings: a valid 20 MB file plays
// and its memory is given back after close, a file too large for the memory says so with its size,
// and a second open does not read the SoundFont again. Sound goes to FluidSynth's file driver
// writing /dev/null; VELMORA_MEMORY_AVAILABLE_MB stands in for a machine short of memory.
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "midi_fixtures.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {
namespace {

// A field of /proc/self/status ("VmRSS:", in KiB) or /proc/self/io ("rchar:", in bytes).
long long ProcField(const char* file, const std::string& name) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name, 0) == 0) return std::stoll(line.substr(name.size()));
  return -1;
}
long long ResidentMiB() { return ProcField("/proc/self/status", "VmRSS:") / 1024; }
long long BytesRead() { return ProcField("/proc/self/io", "rchar:"); }

bool WaitUntil(const std::function<bool()>& condition) {
  for (int tries = 0; tries < 1000 && !condition(); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return condition();
}

class BigFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("VELMORA_AUDIO_DRIVER", "file", 1);
    setenv("VELMORA_AUDIO_FILE", "/dev/null", 1);
    // One track of notes under running status, 20 MB in all.
    testing::MidiBytes events{0x00, 0x90, 60, 100};
    while (events.size() < 20'000'000) events.insert(events.end(), {1, 60, 100});
    events.insert(events.end(), {0, 0xFF, 0x2F, 0});
    const auto file = testing::Join({testing::Header(0, 1), testing::Chunk("MTrk", events)});
    big_ = folder_.Write("big.mid", file).string();
  }
  platform::MciError OpenPlayClose(
      const std::string& path, const std::function<void()>& whilePlaying = [] {}) {
    const platform::MciError opened =
        mci_.SendString("open \"" + path + "\" alias m type sequencer");
    if (opened != platform::kMciOk) return opened;
    EXPECT_EQ(mci_.SendString("play m"), platform::kMciOk);
    whilePlaying();
    return mci_.SendString("close m");
  }

  static inline testing::TempFolder folder_;
  static inline std::string big_;
  FluidMci mci_;
};

TEST_F(BigFiles, A20MbFilePlaysAndItsMemoryIsGivenBackAfterClose) {
  ASSERT_EQ(OpenPlayClose(folder_.Write("small.mid", testing::SmallTune()).string()), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the small file's teardown
  const long long before = ResidentMiB();
  const auto playerReadsIt = [&] {
    EXPECT_TRUE(WaitUntil([&] { return ResidentMiB() > before + 200; }));
  };
  ASSERT_EQ(OpenPlayClose(big_, playerReadsIt), 0u);
#ifndef __SANITIZE_ADDRESS__  // whose allocator holds freed blocks back on purpose
  EXPECT_TRUE(WaitUntil([&] { return ResidentMiB() <= before + 8; }))
      << before << " MiB before, " << ResidentMiB() << " MiB after";
#endif
}

TEST_F(BigFiles, AFileTooLargeForTheMemorySaysSoWithItsSize) {
  setenv("VELMORA_MEMORY_AVAILABLE_MB", "100", 1);
  EXPECT_EQ(OpenPlayClose(big_), mci_error::kOutOfMemory);
  unsetenv("VELMORA_MEMORY_AVAILABLE_MB");
  char text[128];
  ASSERT_TRUE(mci_.GetErrorString(mci_error::kOutOfMemory, text));
  EXPECT_STREQ(text, "too large to play: 20 MB");
}

TEST_F(BigFiles, ASecondOpenDoesNotReadTheSoundFontAgain) {
  const std::string tune = folder_.Write("tune.mid", testing::SmallTune()).string();
  const long long start = BytesRead();
  ASSERT_EQ(OpenPlayClose(tune), 0u);
  const long long first = BytesRead() - start;
  ASSERT_EQ(OpenPlayClose(tune), 0u);
  const long long second = BytesRead() - start - first;
  EXPECT_GT(first, 1'000'000) << "the first open loads the SoundFont";
  EXPECT_LT(second, 100'000) << "the second open reads the file alone";
}

}  // namespace
}  // namespace velmora::posix
