// The Linux open dialog's translation of the Windows request: patterns, filter list, result buffer.
#include <FL/filename.H>
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/fltk_file_dialog.h"

namespace velmora::posix {
namespace {

using namespace std::string_literals;

bool Lists(const std::string& windowsPattern, const char* name) {
  return fl_filename_match(name, CaseInsensitiveGlob(windowsPattern).c_str()) != 0;
}

// Checked with FLTK's own matcher, the one both of its choosers filter with.
TEST(CaseInsensitiveGlob, ListsTheNamesWindowsWouldList) {
  EXPECT_EQ(CaseInsensitiveGlob("*.Mid"), "*.[Mm][Ii][Dd]");
  for (const char* name : {"song.mid", "SONG.MID", "Song.Mid", "a.b.mId", ".mid"}) {
    EXPECT_TRUE(Lists("*.Mid", name)) << name;
  }
  for (const char* name : {"song.midi", "song.txt", "songmid", "song.mid.bak"}) {
    EXPECT_FALSE(Lists("*.Mid", name)) << name;
  }
  EXPECT_TRUE(Lists("TRACK?.mid", "track7.MID"));
  EXPECT_FALSE(Lists("TRACK?.mid", "track12.mid"));
}

TEST(CaseInsensitiveGlob, SeveralPatternsAndEveryFile) {
  EXPECT_TRUE(Lists("*.mid;*.rmi", "a.RMI"));
  EXPECT_TRUE(Lists("*.mid;*.rmi", "b.Mid"));
  EXPECT_FALSE(Lists("*.mid;*.rmi", "c.wav"));
  EXPECT_TRUE(Lists("*.*", "README"));  // Windows: "*.*" lists names without a dot as well
  EXPECT_TRUE(Lists("*.*", "x.y"));
}

TEST(ChooserFilter, OneLinePerPairUpToTheClosingNul) {
  EXPECT_EQ(ChooserFilter("Mid Files (*.mid) (*.Mid)\0*.Mid\0"s),
            "Mid Files (*.mid) (*.Mid)\t*.[Mm][Ii][Dd]");
  EXPECT_EQ(ChooserFilter("A\0*.a\0B\0*.b\0\0C\0*.c\0"s), "A\t*.[Aa]\nB\t*.[Bb]");
  EXPECT_EQ(ChooserFilter(""), "");
  EXPECT_EQ(ChooserFilter("Tab\there\0*.x"s), "Tab here\t*.[Xx]");  // no NUL after the last pattern
  EXPECT_EQ(ChooserFilter("Lonely"), "");                           // a description without pattern
}

class ChosenPath : public ::testing::Test {
 protected:
  std::string buffer = std::string(254, ' ');
};

TEST_F(ChosenPath, PathThenNulThenTheBlanksAsTheyWere) {
  ASSERT_TRUE(WriteChosenPath(buffer, 255, "/home/ann/song.mid"));
  EXPECT_EQ(buffer.size(), 254u);
  EXPECT_EQ(buffer.substr(0, 19), "/home/ann/song.mid\0"s);
  EXPECT_EQ(buffer.substr(19), std::string(254 - 19, ' '));
}

TEST_F(ChosenPath, ALongestPathFillsTheBufferAndItsEndIsTheNul) {
  const std::string longest = "/" + std::string(253, 'a');
  ASSERT_TRUE(WriteChosenPath(buffer, 255, longest));
  EXPECT_EQ(buffer, longest);
}

TEST_F(ChosenPath, APathThatDoesNotFitFailsAndChangesNothing) {
  const std::string blanks = buffer;
  EXPECT_FALSE(WriteChosenPath(buffer, 255, "/" + std::string(254, 'a')));
  EXPECT_EQ(buffer, blanks);
  // The stated size is the limit even when the buffer is larger.
  EXPECT_FALSE(WriteChosenPath(buffer, 10, "/tmp/a.mid"));
  EXPECT_TRUE(WriteChosenPath(buffer, 11, "/tmp/a.mid"));
  // And the buffer is the limit when the stated size claims more than it holds.
  std::string small(5, ' ');
  EXPECT_FALSE(WriteChosenPath(small, 255, "/a/bcd"));
  EXPECT_EQ(small, "     ");
  EXPECT_TRUE(WriteChosenPath(small, 255, "/a/bc"));
  EXPECT_EQ(small, "/a/bc");
}

}  // namespace
}  // namespace velmora::posix
