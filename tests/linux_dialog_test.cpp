// The Linux open dialog's translation of the Windows request for FLTK's choosers, and of the chosen
// path into the request's buffer. (The real dialog, answered as a user answers it, is played from
// in tests/package_test.sh.)
#include <FL/filename.H>
#include <gtest/gtest.h>

#include "platform/posix/fltk_file_dialog.h"

namespace velmora::posix {
namespace {

using namespace std::string_literals;

// FLTK shows a filter line "name TAB pattern" as "name(pattern)"; GTK's dialog filters by the text
// from the shown entry's first '(' to the next ')', FLTK's own chooser up to the last ')'.
TEST(ChooserFilter, ShowsEachDescriptionAsGivenAndFiltersByItsPattern) {
  const std::string line = ChooserFilter("Mid Files (*.mid) (*.Mid)\0*.Mid\0"s);
  const std::string shown =
      line.substr(0, line.find('\t')) + "(" + line.substr(line.find('\t') + 1) + ")";
  EXPECT_EQ(shown, "Mid Files (*.mid) (*.Mid)");
  const std::string filteredBy = shown.substr(11, shown.find(')') - 11);  // after the first '('
  for (const char* name : {"song.mid", "SONG.MID", "a.Mid"})
    EXPECT_TRUE(fl_filename_match(name, filteredBy.c_str()));
  EXPECT_FALSE(fl_filename_match("song.midi", filteredBy.c_str()));
  EXPECT_EQ(ChooserFilter("Mid Files (*.mid) (*.Mid)\0*.Mid\0"s, Chooser::Fltk),
            "Mid Files [*.mid] \t*.Mid");
  EXPECT_EQ(ChooserFilter("A (b)\0*.mid;*.rmi\0All\0*.*\0\0C\0*.c\0"s),
            "A [b]\t{*.mid,*.rmi}\nAll\t*");
  EXPECT_EQ(ChooserFilter("Tab\there\0*.x"s), "Tab here\t*.x");  // no NUL after the last pattern
  EXPECT_EQ(ChooserFilter("Lonely"), "");
}

TEST(WriteChosenPath, ThePathANulAndTheBlanksOrNothingWhenItDoesNotFit) {
  std::string buffer(254, ' ');
  EXPECT_FALSE(WriteChosenPath(buffer, 255, "/" + std::string(254, 'a')));
  EXPECT_FALSE(WriteChosenPath(buffer, 10, "/tmp/a.mid")) << "the stated size is the limit";
  EXPECT_EQ(buffer, std::string(254, ' '));
  ASSERT_TRUE(WriteChosenPath(buffer, 255, "/" + std::string(253, 'b')));
  EXPECT_EQ(buffer, "/" + std::string(253, 'b')) << "the longest path ends at the buffer's end";
}

}  // namespace
}  // namespace velmora::posix
