// Play and Stop on the fake platform: captions in order, states, and the failures that must show.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace velmora {
namespace {

using testing::FakeForm;

TEST(Play, PaintsPleaseWaitThenOpensPlaysAndShowsTheTitleOnASecondLine) {
  FakeForm f;
  f.Choose("C:\\Music\\tune.mid", "C:\\MUSIC\\TUNE.MID");
  f.platform.calls.clear();
  f.form.Click(ControlId::cmdPlay);

  const std::vector<std::string> expected{
      "SetCaption Label1 Please Wait",
      "ProcessPendingEvents",
      "GetShortPathName C:\\Music\\tune.mid 67",
      "SendString open C:\\MUSIC\\TUNE.MID type sequencer alias mcitest",
      "SendString play mcitest",
      "SetVisible cmdPlay no",
      "SetVisible cmdStop yes",
      "SetCaption Label1 Now Playing \r\ntune.mid",
  };
  EXPECT_EQ(f.platform.calls, expected);
  EXPECT_TRUE(f.Shows(ControlId::cmdStop));
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay));
  EXPECT_FALSE(f.Shows(ControlId::CmdGetMidFile));
}

TEST(Stop, ClosesTheDeviceAndReturnsToIdleWithAnEmptyLabel) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.form.cmdPlay_Click();
  f.platform.calls.clear();
  f.form.Click(ControlId::cmdStop);
  EXPECT_EQ(f.platform.calls.front(), "SendString close mcitest");
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay)) << "Play waits for a new choice";
  EXPECT_FALSE(f.Shows(ControlId::cmdStop));
  EXPECT_EQ(f.Caption(ControlId::Label1), "");
}

TEST(Stop, AFailingCloseIsSilent) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.form.cmdPlay_Click();
  f.platform.mciAnswer = [](const std::string&) { return 263u; };
  f.form.cmdStop_Click();
  EXPECT_EQ(f.Caption(ControlId::Label1), "");
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
}

// A failure is shown as the step and the platform's text, the alias is released, the window is
// Idle.
TEST(Play, FailedOpenShowsItsErrorClosesTheAliasAndReturnsToIdle) {
  FakeForm f;
  f.Choose("C:\\notmidi.mid");
  f.platform.mciAnswer = [](const std::string& command) {
    return command.rfind("open ", 0) == 0 ? 296u : 0u;
  };
  f.platform.calls.clear();
  f.form.cmdPlay_Click();

  EXPECT_EQ(f.Caption(ControlId::Label1), "open: error 296");
  EXPECT_TRUE(f.platform.callsStartingWith("SendString play").empty()) << "nothing to play";
  EXPECT_EQ(f.platform.callsStartingWith("SendString close"),
            std::vector<std::string>{"SendString close mcitest"});
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay));
  EXPECT_FALSE(f.Shows(ControlId::cmdStop));
}

TEST(Play, FailedPlayShowsItsErrorAndClosesTheOpenedDevice) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.platform.mciAnswer = [](const std::string& command) {
    return command == "play mcitest" ? 0x00010113u : 0u;  // error code carrying a device id
  };
  f.form.cmdPlay_Click();
  EXPECT_EQ(f.Caption(ControlId::Label1), "play: error 65811") << "the full 32-bit code";
  EXPECT_EQ(f.platform.callsStartingWith("SendString close").size(), 1u);
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
}

TEST(Play, ASecondClickWaitingDuringPleaseWaitDoesNotOpenTwice) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.platform.pendingEvents.push_back([&] { f.form.Click(ControlId::cmdPlay); });
  f.form.cmdPlay_Click();
  EXPECT_EQ(f.platform.callsStartingWith("SendString open").size(), 1u);
  EXPECT_EQ(f.platform.callsStartingWith("SendString play").size(), 1u);
  EXPECT_TRUE(f.platform.callsStartingWith("SendString close").empty());
  EXPECT_EQ(f.Caption(ControlId::Label1), "Now Playing \r\ntune.mid");

  f.form.cmdStop_Click();  // the guard is released: the next Play opens again
  f.Choose("C:\\tune.mid");
  f.form.cmdPlay_Click();
  EXPECT_EQ(f.platform.callsStartingWith("SendString open").size(), 2u);
}

TEST(Play, ACloseRequestWaitingDuringPleaseWaitEndsTheProgramBeforeTheOpen) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.platform.pendingEvents.push_back([&] {
    std::int16_t cancel = 0;
    f.form.Unload(cancel);
  });
  EXPECT_THROW(f.form.cmdPlay_Click(), fake::ProgramEnded);
  EXPECT_TRUE(f.platform.callsStartingWith("SendString open").empty());
}

TEST(Play, PlayingStateStaysAfterThePieceEndsUntilStop) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.form.cmdPlay_Click();
  f.platform.ProcessPendingEvents();  // time passes; the device tells the program nothing
  EXPECT_TRUE(f.Shows(ControlId::cmdStop));
  EXPECT_EQ(f.Caption(ControlId::Label1), "Now Playing \r\ntune.mid");
}

}  // namespace
}  // namespace velmora
