// Get Mid File: the dialog's answer becomes FileName, CheckFile derives FileTitle and shows Play.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace velmora {
namespace {

using testing::FakeForm;

TEST(GetMidFile, AsksForMidFilesUnderTheTitleOpenFile) {
  FakeForm f;
  f.form.Click(ControlId::CmdGetMidFile);
  ASSERT_EQ(f.platform.dialogRequests.size(), 1u);
  EXPECT_EQ(f.platform.dialogRequests[0].title, "Open File");
  EXPECT_EQ(f.platform.dialogRequests[0].filter,
            std::string("Mid Files (*.mid) (*.Mid)\0*.Mid\0", 32));
}

TEST(GetMidFile, ChoiceShowsPlayAndTakesTheNameAfterTheLastSeparator) {
  FakeForm f;
  f.Choose("C:\\Music\\Old\\tune.mid");
  EXPECT_EQ(f.form.FileName, "C:\\Music\\Old\\tune.mid");
  EXPECT_EQ(f.form.FileTitle, "tune.mid");
  EXPECT_EQ(f.form.SlashPos, 13);
  EXPECT_TRUE(f.Shows(ControlId::cmdPlay));
  EXPECT_FALSE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdStop));
  EXPECT_EQ(f.Caption(ControlId::Label1), "") << "the status label is not touched";
}

TEST(GetMidFile, FileInTheRootFolderHasNoDrivePartInItsTitle) {
  FakeForm f;
  f.Choose("C:\\root.mid");
  EXPECT_EQ(f.form.FileTitle, "root.mid");
}

TEST(GetMidFile, CancelLeavesTheWindowAndStateAsTheyWere) {
  FakeForm f;
  f.Choose("C:\\a\\first.mid");
  f.form.cmdPlay_Click();
  f.form.cmdStop_Click();
  f.platform.calls.clear();

  f.form.CmdGetMidFile_Click();  // no scripted answer: cancelled
  EXPECT_EQ(f.form.FileName, std::string(254, ' '));
  EXPECT_EQ(f.form.FileTitle, "first.mid") << "a buffer without a separator leaves the title";
  EXPECT_EQ(f.form.SlashPos, 0);
  EXPECT_TRUE(f.platform.callsStartingWith("SetVisible").empty());
  EXPECT_TRUE(f.platform.callsStartingWith("SetCaption").empty());
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
}

TEST(GetMidFile, ForwardSlashIsTheSeparatorWhereThePlatformSaysSo) {
  FakeForm f;
  f.platform.separator = '/';
  f.Choose("/home/ann/Music/Song Name.mid");
  EXPECT_EQ(f.form.FileTitle, "Song Name.mid");
  EXPECT_TRUE(f.Shows(ControlId::cmdPlay));

  FakeForm windows;  // a backslash is an ordinary character in a Linux name, and the reverse
  windows.platform.dialogAnswers.push_back(fake::FakePlatform::Choose("C:/odd/name.mid"));
  windows.form.CmdGetMidFile_Click();
  EXPECT_FALSE(windows.Shows(ControlId::cmdPlay));
}

TEST(GetMidFile, NameIsCutAtTheBuffersNulNotItsTrailingBlanks) {
  FakeForm f;
  f.platform.dialogAnswers.push_back([](platform::OpenFileName& request) {
    const std::string path = "C:\\x\\a b.mid";
    std::copy(path.begin(), path.end(), request.file.begin());
    request.file[path.size()] = '\0';
    return true;
  });
  f.form.CmdGetMidFile_Click();
  EXPECT_EQ(f.form.FileTitle, "a b.mid");
  EXPECT_EQ(f.form.FileName.find('\0'), std::string::npos);
}

TEST(GetMidFile, BufferFilledToItsLastCharacterKeepsTheWholeName) {
  FakeForm f;
  const std::string path = "C:\\" + std::string(245, 'd') + "\\z.mid";  // 254 characters, no NUL
  ASSERT_EQ(path.size(), 254u);
  f.Choose(path);
  EXPECT_EQ(f.form.FileTitle, "z.mid");
  EXPECT_EQ(f.form.SlashPos, 249);
}

}  // namespace
}  // namespace velmora
