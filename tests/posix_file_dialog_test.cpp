// The Linux open dialog's translation of the Windows request: patterns, filter list, result buffer.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Browser.H>
#include <FL/Fl_Window.H>
#include <FL/filename.H>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/posix/fltk_file_dialog.h"
#include "tests/x11_session.h"

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
  EXPECT_EQ(ChooserFilter("Mid Files (*.mid)\0*.Mid\0"s, Chooser::Fltk),
            "Mid Files [*.mid]\t*.[Mm][Ii][Dd]");
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

// The real dialog on the test display, answered through the keyboard by xdotool from a second
// thread while the dialog runs its own loop on this one.
class RealDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = testing::WhyNoDisplay(); !why.empty()) GTEST_SKIP() << why;
    if (std::system("command -v xdotool >/dev/null") != 0)
      GTEST_SKIP() << "xdotool is not installed";
    folder =
        std::filesystem::temp_directory_path() / ("velmora-dialog-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const char* name : {"SONG.MID", "song.mid", "Song.Mid", "notes.txt"})
      std::ofstream(folder / name);
    // The dialog must open where the request says, not in the process's own folder.
    home = std::filesystem::current_path();
    std::filesystem::current_path("/");

    request.title = "Open File";
    request.filter = "Mid Files (*.mid) (*.Mid)\0*.Mid\0"s;
    request.file.assign(254, ' ');
    request.maxFile = 255;
    request.initialDir = folder.string();
  }
  void TearDown() override {
    if (folder.empty()) return;
    std::filesystem::current_path(home);
    std::filesystem::remove_all(folder);
  }

  // Waits for the window titled "Open File", gives it the keyboard and types the xdotool keys.
  static std::thread Answer(const std::string& keys) {
    return std::thread([keys] {
      const std::string script =
          "id=$(timeout 20 xdotool search --sync --name '^Open File$' | head -1) && "
          "xdotool windowfocus --sync \"$id\" && sleep 0.3 && " +
          keys +
          // A dialog that did not take the answer is cancelled, so the test fails instead of
          // hanging.
          "; for i in $(seq 50); do [ -z \"$(xdotool search --onlyvisible --name '^Open File$')\" "
          "] && exit 0; sleep 0.1; done; "
          "xdotool search --name '^Open File$' windowfocus --sync key Escape";
      std::system(script.c_str());
    });
  }

  std::filesystem::path folder, home;
  platform::OpenFileName request;
  FltkFileDialog dialog;
};

TEST_F(RealDialog, OpensInTheInitialFolderAndReturnsTheChosenPath) {
  // The name alone, typed into the file name field, is taken in the folder the dialog shows. GTK's
  // dialog opens that field on Ctrl+L; FLTK's own chooser (window class "FLTK") starts in it.
  std::thread user = Answer(
      "{ xprop -id \"$id\" WM_CLASS | grep -q '\"FLTK\"' || xdotool key ctrl+l; } && sleep 0.3 && "
      "xdotool type SONG.MID && sleep 0.3 && xdotool key Return");
  const bool chosen = dialog.GetOpenFileName(request);
  Fl::flush();  // FLTK's own chooser has hidden its window: let the X server know
  user.join();
  ASSERT_TRUE(chosen);
  const std::string path = (folder / "SONG.MID").string();
  EXPECT_EQ(request.file.size(), 254u);
  EXPECT_EQ(request.file.substr(0, path.size() + 1), path + '\0');
  EXPECT_EQ(request.file.substr(path.size() + 1), std::string(254 - path.size() - 1, ' '));
}

TEST_F(RealDialog, CancelLeavesTheBlanks) {
  std::thread user = Answer("xdotool key Escape");
  EXPECT_FALSE(dialog.GetOpenFileName(request));
  Fl::flush();
  user.join();
  EXPECT_EQ(request.file, std::string(254, ' '));
}

// FLTK's own chooser, the one used where GTK is missing, runs inside this process: what its file
// list shows can be read from its widgets.
Fl_File_Browser* FileList(Fl_Widget* widget) {
  if (widget == nullptr) return nullptr;
  if (auto* list = dynamic_cast<Fl_File_Browser*>(widget)) return list;
  if (Fl_Group* group = widget->as_group()) {
    for (int i = 0; i < group->children(); ++i) {
      if (Fl_File_Browser* list = FileList(group->child(i))) return list;
    }
  }
  return nullptr;
}

Fl_Button* CancelButton(Fl_Widget* widget) {
  if (widget == nullptr) return nullptr;
  if (auto* button = dynamic_cast<Fl_Button*>(widget);
      button && widget->label() && std::string(widget->label()) == "Cancel") {
    return button;
  }
  if (Fl_Group* group = widget->as_group()) {
    for (int i = 0; i < group->children(); ++i) {
      if (Fl_Button* button = CancelButton(group->child(i))) return button;
    }
  }
  return nullptr;
}

std::vector<std::string> listed;

// Reads the list once it is filled (or after 3 s), then presses Cancel.
void ReadListThenCancel(void*) {
  static int attempts = 0;
  Fl_Window* dialog = Fl::first_window();
  Fl_File_Browser* list = dialog ? FileList(dialog) : nullptr;
  if (list == nullptr || (list->size() < 2 && ++attempts < 30)) {
    Fl::repeat_timeout(0.1, ReadListThenCancel);
    return;
  }
  for (int line = 1; line <= list->size(); ++line) listed.emplace_back(list->text(line));
  if (Fl_Button* cancel = CancelButton(dialog)) cancel->do_callback();
}

[[noreturn]] void ListWithFltksOwnChooser(platform::OpenFileName request) {
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);  // as on a desktop without GTK
  Fl::add_timeout(0.2, ReadListThenCancel);
  const bool chosen = FltkFileDialog().GetOpenFileName(request);
  std::sort(listed.begin(), listed.end());
  for (const std::string& name : listed) std::fprintf(stderr, "listed: %s\n", name.c_str());
  const std::vector<std::string> expected{"../", "SONG.MID", "Song.Mid", "song.mid"};
  std::_Exit(!chosen && listed == expected && request.file == std::string(254, ' ') ? 0 : 1);
}

TEST_F(RealDialog, FltksOwnChooserListsTheMidFilesWhateverTheirCase) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: FLTK picks its chooser once
  EXPECT_EXIT(ListWithFltksOwnChooser(request), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velmora::posix
