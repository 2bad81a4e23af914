// The kernel, MCI and twips translations of the Windows platform, under Wine.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/win32/twips.h"
#include "tests/win32_test_support.h"

namespace velmora {
namespace {

using testing::TestFiles;

TEST(Win32Twips, FifteenTwipsAPixelAt96DpiAndTwelveAt120) {
  const win32::TwipsScale at96{96, 96};
  EXPECT_EQ(at96.ToPixelsX(2670), 178);
  EXPECT_EQ(at96.ToTwipsY(155), 2325.0f);
  const win32::TwipsScale at120{120, 120};
  EXPECT_EQ(at120.ToPixelsY(2325), 194) << "193.75 rounds to the nearest pixel";
  EXPECT_EQ(at120.ToTwipsX(1920), 23040.0f);
}

TEST(Win32Twips, ValuesWithoutAPixelCountGiveNothing) {
  const win32::TwipsScale scale;
  EXPECT_FALSE(scale.ToPixelsX(std::numeric_limits<float>::quiet_NaN()));
  EXPECT_FALSE(scale.ToPixelsY(std::numeric_limits<float>::infinity()));
  EXPECT_FALSE(scale.ToPixelsX(1e20f));
  EXPECT_EQ(scale.ToPixelsX(-60.0f), -4);
}

TEST(Win32FileSystem, ShortPathsFollowGetShortPathNameAsTheSequencerStepsUseIt) {
  TestFiles files;
  win32::Win32FileSystem kernel;
  std::string buffer(67, '\0');
  const std::uint32_t length = kernel.GetShortPathName(files.tuneWithBlanks, buffer);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, 67u);
  EXPECT_EQ(buffer.find(' '), std::string::npos) << buffer;
  EXPECT_EQ(GetFileAttributesA(buffer.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u)
      << "the short form names the same file";

  std::string tooSmall(4, '\0');
  EXPECT_EQ(kernel.GetShortPathName(files.tuneWithBlanks, tooSmall), length + 1)
      << "the size needed, with the NUL";
  EXPECT_EQ(tooSmall, std::string(4, '\0'));

  EXPECT_EQ(kernel.GetShortPathName(files.folder + "\\missing.mid", buffer), 0u);
  EXPECT_EQ(kernel.GetShortPathName(files.tune + std::string("\0tail", 5), buffer),
            kernel.GetShortPathName(files.tune, buffer))
      << "the long path is read up to its first NUL";
  EXPECT_EQ(kernel.PathSeparator(), '\\');
}

TEST(Win32FileSystem, CurrentDirectoryIsTheProcesssOwn) {
  TestFiles files;
  win32::Win32FileSystem kernel;
  char before[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, before);
  ASSERT_TRUE(SetCurrentDirectoryA(files.folder.c_str()));
  EXPECT_EQ(kernel.GetCurrentDirectory(), files.folder);
  SetCurrentDirectoryA(before);
  EXPECT_EQ(kernel.GetCurrentDirectory(), before);
}

TEST(Win32Mci, AnswersWithWinmmsCodesAndTexts) {
  win32::Win32Mci mci;
  EXPECT_EQ(mci.SendString("close mcitest"), 263u) << "MCIERR_INVALID_DEVICE_NAME";
  std::string text(255, '\0');
  ASSERT_TRUE(mci.GetErrorString(263, text));
  EXPECT_GT(text.find('\0'), 0u);
  EXPECT_NE(text.find('\0'), std::string::npos) << "NUL-terminated inside the buffer";

  TestFiles files;
  std::string shortForm(67, '\0');
  shortForm.resize(win32::Win32FileSystem().GetShortPathName(files.tune, shortForm));
  EXPECT_EQ(mci.SendString("open " + shortForm + " type sequencer alias mcitest"), 0u);
  EXPECT_EQ(mci.SendString("open " + shortForm + " type sequencer alias mcitest"), 289u)
      << "MCIERR_DUPLICATE_ALIAS";
  EXPECT_EQ(mci.SendString("close mcitest"), 0u);
}

}  // namespace
}  // namespace velmora
