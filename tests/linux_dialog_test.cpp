// The Linux open dialog's translation of the Windows request into GTK's file filters, and of the
// chosen path into the request's buffer. (The real dialog, answered through the accessibility bus
// as a screen reader's user answers it, is played in tests/accessible_use_test.py.)
#include <gtest/gtest.h>

#include "platform/posix/gtk_open_file_dialog.h"

namespace velmora::posix {
namespace {

using namespace std::string_literals;

// Each type named as the program describes it, and matching names as Windows does, whatever their
// case; GTK's matcher reads the same globs as the desktop portal's.
TEST(ChooserFilters, ShowEachDescriptionAsGivenAndMatchItsPatternsWhateverTheCase) {
  const auto filters = ChooserFilters("Mid Files (*.mid) (*.Mid)\0*.Mid\0"s +
                                      "Two [x]\0*.rmi;[x].k\0All\0*.*\0\0Unread\0*.c\0"s);
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> matched;
  for (GtkFileFilter* filter : filters) {
    g_object_ref_sink(filter);
    names.emplace_back(gtk_file_filter_get_name(filter));
    matched.emplace_back();
    for (const char* name :
         {"song.mid", "SONG.MID", "a.Mid", "song.midi", "b.RMI", "[x].K", "x.k"}) {
      GtkFileFilterInfo file{GTK_FILE_FILTER_DISPLAY_NAME, nullptr, nullptr, name, nullptr};
      if (gtk_file_filter_filter(filter, &file)) matched.back().emplace_back(name);
    }
    g_object_unref(filter);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Mid Files (*.mid) (*.Mid)", "Two [x]", "All"}));
  EXPECT_EQ(matched, (std::vector<std::vector<std::string>>{
                         {"song.mid", "SONG.MID", "a.Mid"},
                         {"b.RMI", "[x].K"},
                         {"song.mid", "SONG.MID", "a.Mid", "song.midi", "b.RMI", "[x].K", "x.k"}}));
  EXPECT_TRUE(ChooserFilters("Lonely").empty()) << "a description without its pattern";
}

TEST(WriteChosenPath, ThePathANulAndTheBlanksOrNothingWhenItDoesNotFit) {
  std::string buffer(254, ' ');
  EXPECT_FALSE(WriteChosenPath(buffer, 255, "/" + std::string(254, 'a')));
  EXPECT_FALSE(WriteChosenPath(buffer, 10, "/tmp/a.mid")) << "the stated size is the limit";
  EXPECT_EQ(buffer, std::string(254, ' '));
  ASSERT_TRUE(WriteChosenPath(buffer, 255, "/tmp/a.mid"));
  EXPECT_EQ(buffer, "/tmp/a.mid\0"s + std::string(243, ' '));
  ASSERT_TRUE(WriteChosenPath(buffer, 255, "/" + std::string(253, 'b')));
  EXPECT_EQ(buffer, "/" + std::string(253, 'b')) << "the longest path ends at the buffer's end";
}

}  // namespace
}  // namespace velmora::posix
