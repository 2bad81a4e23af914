// Closing: the device is released first, the window slides off the screen, the program ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/test_support.h"

namespace velmora {
namespace {

using platform::WindowMetric;
using testing::FakeForm;

void Close(FakeForm& f) {
  std::int16_t cancel = 0;
  EXPECT_THROW(f.form.Unload(cancel), fake::ProgramEnded);
  EXPECT_EQ(cancel, 0);
}

std::size_t Passes(const FakeForm& f) { return f.platform.callsStartingWith("ScreenWidth").size(); }

TEST(Closing, WhilePlayingStopsTheMusicBeforeTheWindowMoves) {
  FakeForm f;
  f.Choose("C:\\tune.mid");
  f.form.cmdPlay_Click();
  f.platform.calls.clear();
  Close(f);
  EXPECT_EQ(f.platform.calls.front(), "SendString close mcitest");
  EXPECT_EQ(f.platform.calls.back(), "EndProgram");
}

TEST(Closing, EachPassMovesThirtyAndShrinksSixtyUntilTheTopPassesTheScreenWidth) {
  FakeForm f;
  f.platform.metrics = {{WindowMetric::Left, 0},
                        {WindowMetric::Top, 0},
                        {WindowMetric::Width, 3000},
                        {WindowMetric::Height, 3000}};
  f.platform.screenWidth = 300;
  Close(f);
  // The top must exceed 300: 330 after 11 passes (a top equal to the width runs one more pass).
  EXPECT_EQ(Passes(f), 11u);
  EXPECT_EQ(f.platform.metrics[WindowMetric::Top], 330);
  EXPECT_EQ(f.platform.metrics[WindowMetric::Left], 330);
  EXPECT_EQ(f.platform.metrics[WindowMetric::Width], 3000 - 11 * 60);
  EXPECT_EQ(f.platform.metrics[WindowMetric::Height], 3000 - 11 * 60);
  const std::vector<std::string> firstPass(f.platform.calls.begin() + 2,
                                           f.platform.calls.begin() + 12);
  EXPECT_EQ(firstPass, (std::vector<std::string>{"Get Top", "Set Top 30", "Get Left", "Set Left 30",
                                                 "Get Width", "Set Width 2940", "Get Height",
                                                 "Set Height 2940", "Get Top", "ScreenWidth"}));
}

TEST(Closing, WindowPlacedHigherMovesFarther) {
  FakeForm high, low;
  high.platform.metrics[WindowMetric::Top] = 0;
  low.platform.metrics[WindowMetric::Top] = 9000;
  Close(high);
  Close(low);
  EXPECT_EQ(Passes(high) - Passes(low), 9000u / 30);
}

TEST(Closing, SizeHeldAtItsMinimumAndRejectedSizesDoNotStopTheSlide) {
  FakeForm held;
  held.platform.minimumSize = 1500;
  Close(held);
  EXPECT_EQ(held.platform.metrics[WindowMetric::Width], 1500);
  EXPECT_GT(held.platform.metrics[WindowMetric::Top], held.platform.screenWidth);

  FakeForm rejected;
  rejected.platform.rejectWrites[WindowMetric::Width] = true;
  rejected.platform.rejectWrites[WindowMetric::Height] = true;
  Close(rejected);
  EXPECT_GT(rejected.platform.metrics[WindowMetric::Top], rejected.platform.screenWidth);
}

TEST(Closing, AWindowThatCannotMoveStillEnds) {
  FakeForm f;  // minimised or maximised: every move is refused
  f.platform.rejectWrites[WindowMetric::Top] = true;
  f.platform.rejectWrites[WindowMetric::Left] = true;
  Close(f);
  EXPECT_EQ(Passes(f), 1u);
}

TEST(Closing, AFailingReadEndsTheLoopAndTheProgram) {
  FakeForm f;
  f.platform.failReads = true;
  Close(f);
  EXPECT_EQ(Passes(f), 1u);
  EXPECT_TRUE(f.platform.callsStartingWith("Set ").empty());
}

TEST(Closing, IdleWindowSendsCloseAllTheSameAndIgnoresItsFailure) {
  FakeForm f;
  f.platform.mciAnswer = [](const std::string&) { return 263u; };
  Close(f);
  EXPECT_EQ(f.platform.callsStartingWith("SendString close mcitest").size(), 1u);
}

}  // namespace
}  // namespace velmora
