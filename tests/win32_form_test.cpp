// Form1 on the real Windows platform under Wine: the open dialog driven for real, a path with
// blanks through its short form, Play through Wine's MCI sequencer, a file that is not MIDI.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/win32_test_support.h"

namespace velmora {
namespace {

using testing::OpenDialogDriver;
using testing::RealForm;
using testing::TestFiles;

// Clicks "Get Mid File" and answers the dialog with the path (an empty path cancels it).
testing::DialogSeen ChooseInDialog(RealForm& f, const std::string& path) {
  OpenDialogDriver driver(f.window.window(), path);
  f.Click(ControlId::CmdGetMidFile);
  return driver.Finish();
}

std::string ShortPathOf(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return std::string(buffer, length < MAX_PATH ? length : 0);
}

TEST(Win32Form, TheOpenDialogHasNoOwnerKeepsTheWindowEnabledAndAChoiceMakesItReady) {
  TestFiles files;
  RealForm f;
  const testing::DialogSeen seen = ChooseInDialog(f, files.tune);
  ASSERT_TRUE(seen.found) << "no dialog titled \"Open File\" appeared";
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_TRUE(seen.mainWindowEnabled);
  EXPECT_EQ(seen.fileTypes, "Mid Files (*.mid) (*.Mid)");

  EXPECT_EQ(f.form.FileName, files.tune);
  EXPECT_EQ(f.form.FileTitle, "velmora-demo.mid");
  EXPECT_TRUE(f.Shows(ControlId::cmdPlay));
  EXPECT_FALSE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_EQ(f.Caption(ControlId::Label1), "");
}

TEST(Win32Form, ACancelledDialogLeavesTheWindowIdle) {
  RealForm f;
  const testing::DialogSeen seen = ChooseInDialog(f, "");
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(f.form.FileName, std::string(254, ' ')) << "the blanks come back as they went in";
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay));
  EXPECT_EQ(f.Caption(ControlId::Label1), "");
}

TEST(Win32Form, TheDialogBufferComesBackAtItsFullLengthWithThePathThenNul) {
  TestFiles files;
  RealForm f;
  platform::OpenFileName request;
  request.instance = f.window.ModuleInstance();
  request.filter = std::string("Mid Files (*.mid) (*.Mid)\0*.Mid\0", 32);
  request.file.assign(254, ' ');
  request.maxFile = 255;
  request.fileTitle.assign(254, ' ');
  request.maxFileTitle = 255;
  request.initialDir = files.folder;
  request.title = "Open File";

  OpenDialogDriver driver(f.window.window(), files.tune);
  EXPECT_TRUE(f.dialog.GetOpenFileName(request));
  ASSERT_TRUE(driver.Finish().found);
  ASSERT_EQ(request.file.size(), 254u);
  EXPECT_EQ(request.file.substr(0, files.tune.size() + 1), files.tune + '\0');
  EXPECT_EQ(request.fileTitle.size(), 254u);
  EXPECT_EQ(request.fileTitle.substr(0, request.fileTitle.find('\0')), "velmora-demo.mid");
}

TEST(Win32Form, PlayOpensTheTuneOnWinesSequencerAndTheWindowFollowsWhatPlayAnswered) {
  TestFiles files;
  RealForm f;
  ASSERT_TRUE(ChooseInDialog(f, files.tune).found);
  f.Click(ControlId::cmdPlay);

  const std::string label = f.Caption(ControlId::Label1);
  std::cout << "Label1 after Play: \"" << label << "\"\n";
  ASSERT_NE(label.rfind("open: ", 0), 0u) << "the sequencer must open the demo tune";
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay));
  if (label.rfind("play: ", 0) == 0) {
    // Play failed: the alias is released and the window is Idle with the platform's text.
    EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
    EXPECT_FALSE(f.Shows(ControlId::cmdStop));
    EXPECT_EQ(f.mci.SendString("close mcitest"), 263u) << "nothing left open";
    return;
  }
  EXPECT_EQ(label, "Now Playing \r\nvelmora-demo.mid");
  EXPECT_TRUE(f.Shows(ControlId::cmdStop));
  EXPECT_FALSE(f.Shows(ControlId::CmdGetMidFile));
  char mode[64] = {};
  EXPECT_EQ(mciSendStringA("status mcitest mode", mode, sizeof mode, nullptr), 0u);
  std::cout << "Wine's sequencer reports mode \"" << mode << "\" after play\n";

  f.Click(ControlId::cmdStop);
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdStop));
  EXPECT_EQ(f.Caption(ControlId::Label1), "");
  EXPECT_EQ(f.mci.SendString("close mcitest"), 263u) << "Stop closed the device";
}

TEST(Win32Form, APathWithBlanksOpensThroughItsShortForm) {
  TestFiles files;
  const std::string shortForm = ShortPathOf(files.tuneWithBlanks);
  std::cout << "Short form under Wine: " << shortForm << "\n";
  ASSERT_FALSE(shortForm.empty());
  EXPECT_EQ(shortForm.find(' '), std::string::npos);

  RealForm f;
  ASSERT_TRUE(ChooseInDialog(f, files.tuneWithBlanks).found);
  EXPECT_EQ(f.form.FileTitle, "demo tune.mid");
  f.Click(ControlId::cmdPlay);
  const std::string label = f.Caption(ControlId::Label1);
  EXPECT_NE(label.rfind("open: ", 0), 0u) << label;
}

// The manifest's UTF-8 code page (this test program carries the same manifest as Velmora.exe) lets
// the "A" calls carry a name outside Windows-1252: chosen in the dialog, played, shown whole.
TEST(Win32Form, ATuneNamedOutsideTheWindowsCodePageIsPlayedAndItsTitleShown) {
  ASSERT_EQ(GetACP(), UINT{CP_UTF8}) << "the manifest's activeCodePage was not applied";
  TestFiles files;
  RealForm f;
  ASSERT_TRUE(ChooseInDialog(f, files.tuneNamedInUnicode).found);
  f.Click(ControlId::cmdPlay);
  char mode[64] = {};
  EXPECT_EQ(mciSendStringA("status mcitest mode", mode, sizeof mode, nullptr), 0u);
  EXPECT_STREQ(mode, "playing");
  wchar_t label[64] = {};
  GetWindowTextW(f.Control(ControlId::Label1), label, 64);
  EXPECT_STREQ(label, L"Now Playing \r\nÜnïcødé ♫ tune.mid");
}

TEST(Win32Form, AFileThatIsNotMidiShowsOpenAndThePlatformsTextAndStaysIdle) {
  TestFiles files;
  RealForm f;
  ASSERT_TRUE(ChooseInDialog(f, files.notMidi).found);
  ASSERT_TRUE(f.Shows(ControlId::cmdPlay));
  f.Click(ControlId::cmdPlay);

  // The platform's own answer to the same open, and its own text for it.
  const auto code =
      f.mci.SendString("open " + ShortPathOf(files.notMidi) + " type sequencer alias probe");
  ASSERT_NE(code, 0u);
  char text[256] = {};
  ASSERT_TRUE(mciGetErrorStringA(code, text, sizeof text));
  EXPECT_EQ(f.Caption(ControlId::Label1), std::string("open: ") + text);
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay));
  EXPECT_FALSE(f.Shows(ControlId::cmdStop));
}

}  // namespace
}  // namespace velmora
