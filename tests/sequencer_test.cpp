// The open command: short form, deep folders, blanks, vanished files.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace velmora {
namespace {

using testing::FakeForm;

std::string OpenCommand(FakeForm& f) {
  const auto opens = f.platform.callsStartingWith("SendString open");
  return opens.empty() ? "" : opens.back().substr(std::string("SendString ").size());
}

TEST(OpenMidi, LongPathWithBlanksGoesInByItsShortForm) {
  FakeForm f;
  f.Choose("C:\\My Music\\a tune.mid", "C:\\MYMUSI~1\\ATUNE~1.MID");
  f.form.cmdPlay_Click();
  EXPECT_EQ(OpenCommand(f), "open C:\\MYMUSI~1\\ATUNE~1.MID type sequencer alias mcitest");
}

TEST(OpenMidi, ShortFormStillHoldingABlankIsQuoted) {
  FakeForm f;
  f.Choose("/home/ann/My Music/a tune.mid");
  f.form.cmdPlay_Click();
  EXPECT_EQ(OpenCommand(f), "open \"/home/ann/My Music/a tune.mid\" type sequencer alias mcitest");
}

TEST(OpenMidi, ShortFormLongerThanTheBufferIsAskedForAgainAtTheSizeNeeded) {
  FakeForm f;
  const std::string deep = "C:\\" + std::string(70, 'd') + "\\deep.mid";
  f.Choose(deep);
  f.form.cmdPlay_Click();
  const auto asked = f.platform.callsStartingWith("GetShortPathName");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], "GetShortPathName " + deep + " 67");
  EXPECT_EQ(asked[1], "GetShortPathName " + deep + " " + std::to_string(deep.size() + 1));
  EXPECT_EQ(OpenCommand(f), "open " + deep + " type sequencer alias mcitest");
  EXPECT_TRUE(f.Shows(ControlId::cmdStop));
}

TEST(OpenMidi, ShortFormOfExactlySixtySixCharactersFitsTheFirstBuffer) {
  FakeForm f;
  const std::string path = "C:\\" + std::string(59, 'e') + ".mid";
  ASSERT_EQ(path.size(), 66u);
  f.Choose(path);
  f.form.cmdPlay_Click();
  EXPECT_EQ(f.platform.callsStartingWith("GetShortPathName").size(), 1u);
  EXPECT_EQ(OpenCommand(f), "open " + path + " type sequencer alias mcitest");
}

TEST(OpenMidi, VanishedFileIsNotOpenedAndShowsFileNotFound) {
  FakeForm f;
  f.Choose("C:\\gone.mid");
  f.platform.shortPaths.clear();  // deleted between the choice and Play
  f.form.cmdPlay_Click();
  EXPECT_EQ(OpenCommand(f), "") << "no open with an empty element";
  EXPECT_EQ(f.Caption(ControlId::Label1), "open: error 275");
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
}

TEST(OpenMidi, EmptyBufferAfterANestedChoiceOpensNothing) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.form.FileName = std::string(254, ' ');  // a cancelled outer dialog overwrote the choice
  f.form.cmdPlay_Click();
  EXPECT_EQ(OpenCommand(f), "");
  EXPECT_EQ(f.Caption(ControlId::Label1), "open: error 275");
}

}  // namespace
}  // namespace velmora
