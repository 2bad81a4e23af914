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
  std::vector<std::string> shown;
  for (GtkFileFilter* filter : ChooserFilters("Mid Files (*.mid) (*.Mid)\0*.Mid\0Two [x]\0"
                                              "*.rmi;[x].k\0All\0*.*\0\0Unread\0*.c\0"s)) {
    shown.emplace_back(gtk_file_filter_get_name(g_object_ref_sink(filter)));
    for (const char* name :
         {"song.mid", "SONG.MID", "a.Mid", "song.midi", "b.RMI", "[x].K", "x.k"}) {
      GtkFileFilterInfo file{GTK_FILE_FILTER_DISPLAY_NAME, nullptr, nullptr, name, nullptr};
      if (gtk_file_filter_filter(filter, &file)) shown.back().append(" ").append(name);
    }
    g_object_unref(filter);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "Mid Files (*.mid) (*.Mid) song.mid SONG.MID a.Mid", "Two [x] b.RMI [x].K",
                       "All song.mid SONG.MID a.Mid song.midi b.RMI [x].K x.k"}));
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
