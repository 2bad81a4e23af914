// The Linux open dialog: the Windows request translated for FLTK's choosers, and the real chooser
// on the test display answered as a user answers it.
#include "tests/linux_desktop.h"  // first: GoogleTest before X11

#include <FL/Fl.H>
#include <FL/filename.H>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/posix/fltk_file_dialog.h"

namespace velmora::posix {
namespace {

using namespace std::string_literals;

// What FLTK does with a filter line "name TAB pattern": it shows "name(pattern)" and GTK's dialog
// filters by the text from the first '(' to the next ')'.
TEST(ChooserFilter, ShowsEachDescriptionAsGivenAndFiltersByItsPattern) {
  const std::string program = "Mid Files (*.mid) (*.Mid)\0*.Mid\0"s;
  const std::string line = ChooserFilter(program);
  const std::size_t tab = line.find('\t');
  const std::string shown = line.substr(0, tab) + "(" + line.substr(tab + 1) + ")";
  EXPECT_EQ(shown, "Mid Files (*.mid) (*.Mid)");
  const std::size_t open = shown.find('(') + 1;
  const std::string filteredBy = shown.substr(open, shown.find(')') - open);
  for (const char* name : {"song.mid", "SONG.MID", "a.Mid"})
    EXPECT_TRUE(fl_filename_match(name, filteredBy.c_str()));
  EXPECT_FALSE(fl_filename_match("song.midi", filteredBy.c_str()));
  // FLTK's own chooser reads up to the last ')': other parentheses become brackets there.
  EXPECT_EQ(ChooserFilter(program, Chooser::Fltk), "Mid Files [*.mid] \t*.Mid");
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
  ASSERT_TRUE(WriteChosenPath(buffer, 255, "/tmp/a.mid"));
  EXPECT_EQ(buffer, "/tmp/a.mid\0"s + std::string(243, ' '));
  ASSERT_TRUE(WriteChosenPath(buffer, 255, "/" + std::string(253, 'b')));
  EXPECT_EQ(buffer, "/" + std::string(253, 'b')) << "the longest path ends at the buffer's end";
}

// The real chooser (GTK's where GTK is installed, FLTK's own otherwise) in a folder of test files,
// answered through the keyboard by xdotool from a second thread.
class RealDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = testing::WhyNoDesktop(); !why.empty()) GTEST_SKIP() << why;
    std::filesystem::create_directories(folder);
    for (const char* name : {"SONG.MID", "song.mid", "Song.Mid", "notes.txt"})
      std::ofstream(folder / name);
    request.title = "Open File";
    request.filter = "Mid Files (*.mid) (*.Mid)\0*.Mid\0"s;
    request.file.assign(254, ' ');
    request.maxFile = 255;
    request.initialDir = folder.string();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  // Types the keys into the window titled "Open File"; one that stays up is cancelled.
  static std::thread Answer(const std::string& keys) {
    return std::thread([keys] {
      const std::string script =
          "id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Open File$' | head -1) && "
          "xdotool windowfocus --sync $id && sleep 0.3 && " +
          keys +
          "; for i in $(seq 30); do xdotool search --onlyvisible --name '^Open File$' || exit; "
          "sleep 0.1; done >/dev/null; xdotool search --name '^Open File$' windowfocus key Escape";
      std::system(script.c_str());
    });
  }

  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("velmora dialog " + std::to_string(getpid()));
  platform::OpenFileName request;
};

TEST_F(RealDialog, OpensInTheRequestsFolderAndReturnsTheChosenPathOrTheBlanksAfterACancel) {
  // GTK's dialog opens its name field on Ctrl+L; FLTK's own chooser (class "FLTK") starts in it.
  std::thread user = Answer(
      "{ xprop -id $id WM_CLASS | grep -q FLTK || xdotool key ctrl+l; } && sleep 0.3 && "
      "xdotool type SONG.MID && sleep 0.3 && xdotool key Return");
  ASSERT_TRUE(FltkFileDialog().GetOpenFileName(request));
  user.join();
  const std::string path = (folder / "SONG.MID").string();
  EXPECT_EQ(request.file, path + '\0' + std::string(253 - path.size(), ' '));

  request.file.assign(254, ' ');
  user = Answer("xdotool key Escape");
  EXPECT_FALSE(FltkFileDialog().GetOpenFileName(request));
  user.join();
  EXPECT_EQ(request.file, std::string(254, ' '));
}

}  // namespace
}  // namespace velmora::posix
