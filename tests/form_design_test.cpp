// The stored design: the window's size and colour, the controls' geometry, start state and tab
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "main_window/form_design.h"

namespace velmora {
namespace {

TEST(FormDesign, WindowCaptionSizeAndColour) {
  EXPECT_EQ(kForm1Design.caption, "Velmora");
  EXPECT_EQ(kForm1Design.clientWidth, 2670);
  EXPECT_EQ(kForm1Design.clientHeight, 2325);
  EXPECT_EQ(kForm1Design.backColour, 0x00C0C0C0u);
}

TEST(FormDesign, ControlsAreFoundByIdAndOnlyGetMidFileButtonShowsAtStart) {
  for (ControlId id : {ControlId::CmdGetMidFile, ControlId::cmdPlay, ControlId::cmdStop,
                       ControlId::Label1, ControlId::Label2}) {
    EXPECT_EQ(kForm1Design.control(id).id, id);
  }
  EXPECT_TRUE(kForm1Design.control(ControlId::CmdGetMidFile).visible);
  EXPECT_FALSE(kForm1Design.control(ControlId::cmdPlay).visible);
  EXPECT_FALSE(kForm1Design.control(ControlId::cmdStop).visible);
  EXPECT_EQ(kForm1Design.control(ControlId::CmdGetMidFile).caption, "Get Mid File");
  EXPECT_EQ(kForm1Design.control(ControlId::cmdPlay).caption, "Play");
  EXPECT_EQ(kForm1Design.control(ControlId::cmdStop).caption, "Stop");
  EXPECT_EQ(kForm1Design.control(ControlId::Label1).caption, "");
}

TEST(FormDesign, ButtonsStandOneUnderAnotherAndEverythingFitsTheClientArea) {
  const auto& get = kForm1Design.control(ControlId::CmdGetMidFile);
  const auto& play = kForm1Design.control(ControlId::cmdPlay);
  const auto& stop = kForm1Design.control(ControlId::cmdStop);
  EXPECT_EQ(play.top - get.top, 360);
  EXPECT_EQ(stop.top - play.top, 360);
  for (const auto* button : {&get, &play, &stop}) {
    EXPECT_EQ(button->left, 120);
    EXPECT_EQ(button->width, 2415);
    EXPECT_EQ(button->height, 375);
  }
  const auto& label1 = kForm1Design.control(ControlId::Label1);
  EXPECT_EQ(std::tie(label1.left, label1.top, label1.width, label1.height),
            std::make_tuple(120, 1320, 2415, 855));
  EXPECT_TRUE(label1.centred);
  for (const auto& control : kForm1Design.controls) {
    EXPECT_LE(control.left + control.width, kForm1Design.clientWidth) << control.name;
    EXPECT_LE(control.top + control.height, kForm1Design.clientHeight) << control.name;
  }
}

TEST(FormDesign, TabOrderIsPlayStopGetMidFileThenLabels) {
  std::set<int> indexes;
  for (const auto& control : kForm1Design.controls) indexes.insert(control.tabIndex);
  EXPECT_EQ(indexes, (std::set<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(kForm1Design.control(ControlId::cmdPlay).tabIndex, 0);
  EXPECT_EQ(kForm1Design.control(ControlId::cmdStop).tabIndex, 1);
  EXPECT_EQ(kForm1Design.control(ControlId::CmdGetMidFile).tabIndex, 2);
}

TEST(FormDesign, NoticeIsOneLineWithABlankAtEachEnd) {
  const auto notice = kForm1Design.control(ControlId::Label2).caption;
  ASSERT_GE(notice.size(), 3u);
  EXPECT_EQ(notice.front(), ' ');
  EXPECT_EQ(notice.back(), ' ');
  EXPECT_EQ(notice.find_first_of("\r\n"), std::string_view::npos);
}

}  // namespace
}  // namespace velmora
