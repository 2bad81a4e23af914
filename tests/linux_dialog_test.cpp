// The Linux open dialog: the Windows request translated for FLTK's choosers, and the real chooser
// on the test display answered as a user answers it.
#include "tests/linux_desktop.h"  // first: GoogleTest before X11

#include <FL/filename.H>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

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

// Types the keys into the window titled "Open File" from a second thread; one that stays up is
// cancelled, so the test fails rather than hangs.
std::thread Answer(const std::string& keys) {
  return std::thread([keys] {
    std::system(("id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Open File$' | "
                 "head -1) && xdotool windowfocus --sync $id && sleep 0.3 && " +
                 keys +
                 "; for i in $(seq 30); do xdotool search --onlyvisible --name '^Open File$' || "
                 "exit; sleep 0.1; done >/dev/null; xdotool key Escape")
                    .c_str());
  });
}

// The real chooser: GTK's where GTK is installed, FLTK's own (X class "FLTK") otherwise.
TEST(RealDialog, OpensInTheRequestsFolderAndReturnsTheChosenPathOrTheBlanksAfterACancel) {
  if (const std::string why = testing::WhyNoDesktop(); !why.empty()) GTEST_SKIP() << why;
  const auto folder =
      std::filesystem::temp_directory_path() / ("velmora " + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  for (const char* name : {"SONG.MID", "song.mid", "notes.txt"}) std::ofstream(folder / name);
  platform::OpenFileName request{0,
                                 0,
                                 "Mid Files (*.mid) (*.Mid)\0*.Mid\0"s,
                                 0,
                                 std::string(254, ' '),
                                 255,
                                 "",
                                 0,
                                 folder.string(),
                                 "Open File",
                                 0};
  // GTK's dialog opens its name field on Ctrl+L; FLTK's own chooser starts in it.
  std::thread user = Answer(
      "{ xprop -id $id WM_CLASS | grep -q FLTK || xdotool key ctrl+l; } && sleep 0.3 && xdotool "
      "type SONG.MID && sleep 0.3 && xdotool key Return");
  EXPECT_TRUE(FltkFileDialog().GetOpenFileName(request));
  user.join();
  const std::string path = (folder / "SONG.MID").string();
  EXPECT_EQ(request.file, path + '\0' + std::string(253 - path.size(), ' '));
  request.file.assign(254, ' ');
  user = Answer("xdotool key Escape");
  EXPECT_FALSE(FltkFileDialog().GetOpenFileName(request));
  user.join();
  EXPECT_EQ(request.file, std::string(254, ' '));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmora::posix
