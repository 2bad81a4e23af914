// The real window under Wine: the stored design turned into a top-level window with BUTTON and
// STATIC children at Wine's DPI, its colours, font, icon, tab order and keyboard navigation, and
// the window position calls the closing sequence relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <limits>
#include <vector>

#include "tests/win32_test_support.h"

namespace velmora {
namespace {

using platform::WindowMetric;
using testing::RealForm;

RECT ClientRectOf(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

TEST(Win32Window, HasTheCaptionAFixedSingleBorderAndTheClientSizeInPixelsAtWinesDpi) {
  RealForm f;
  const auto& scale = f.window.scale();
  std::cout << "Wine's logical DPI: " << scale.dpiX << " x " << scale.dpiY << "\n";
  EXPECT_EQ(RealForm::WindowText(f.window.window()), "Velmora");
  EXPECT_TRUE(IsWindowVisible(f.window.window()));

  const LONG style = GetWindowLongA(f.window.window(), GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_THICKFRAME, 0) << "the border is fixed: the user cannot resize";
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);

  RECT client;
  GetClientRect(f.window.window(), &client);
  EXPECT_EQ(client.right, *scale.ToPixelsX(kForm1Design.clientWidth));
  EXPECT_EQ(client.bottom, *scale.ToPixelsY(kForm1Design.clientHeight));
  if (scale.dpiX == 96) {
    EXPECT_EQ(client.right, 178);  // 2670 twips at 15 twips a pixel
    EXPECT_EQ(client.bottom, 155);
  }
}

TEST(Win32Window, EachControlIsAButtonOrStaticAtItsTwipsGeometryWithItsCaptionAndVisibleFlag) {
  RealForm f;
  const auto& scale = f.window.scale();
  for (const ControlDesign& design : kForm1Design.controls) {
    SCOPED_TRACE(std::string(design.name));
    HWND control = f.Control(design.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(ClassOf(control), design.kind == ControlKind::PushButton ? "Button" : "Static");
    const RECT rect = ClientRectOf(control);
    EXPECT_EQ(rect.left, *scale.ToPixelsX(design.left));
    EXPECT_EQ(rect.top, *scale.ToPixelsY(design.top));
    EXPECT_EQ(rect.right - rect.left, *scale.ToPixelsX(design.width));
    EXPECT_EQ(rect.bottom - rect.top, *scale.ToPixelsY(design.height));
    EXPECT_EQ(f.Caption(design.id), design.caption);
    EXPECT_EQ(f.Shows(design.id), design.visible);
    EXPECT_EQ(SendMessageA(control, WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
  }
  EXPECT_EQ(GetWindowLongA(f.Control(ControlId::Label1), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_EQ(GetWindowLongA(f.Control(ControlId::Label2), GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
}

TEST(Win32Window, IsLightGreyInItsClassBrushItsControlColoursAndOnTheScreen) {
  RealForm f;
  const COLORREF grey = kForm1Design.backColour;

  LOGBRUSH brush{};
  GetObjectA(reinterpret_cast<HBRUSH>(GetClassLongPtrA(f.window.window(), GCLP_HBRBACKGROUND)),
             sizeof brush, &brush);
  EXPECT_EQ(brush.lbColor, grey);

  HDC dc = GetDC(f.Control(ControlId::Label1));
  for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN}) {
    const auto answer = SendMessageA(f.window.window(), message, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(f.Control(ControlId::Label1)));
    GetObjectA(reinterpret_cast<HBRUSH>(answer), sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, grey) << "message " << message;
    EXPECT_EQ(GetBkColor(dc), grey) << "message " << message;
  }
  ReleaseDC(f.Control(ControlId::Label1), dc);

  // What was painted: the client area's corner, inside each label away from its text, the face of
  // the visible button.
  RedrawWindow(f.window.window(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  HDC screen = GetDC(f.window.window());
  const auto& scale = f.window.scale();
  const auto pixelAt = [&](int leftTwips, int topTwips) {
    return GetPixel(screen, *scale.ToPixelsX(leftTwips), *scale.ToPixelsY(topTwips));
  };
  EXPECT_EQ(pixelAt(30, 30), grey) << "window background";
  EXPECT_EQ(pixelAt(150, 1350), grey) << "Label1";
  EXPECT_EQ(pixelAt(2600, 2100), grey) << "Label2 past its text";
  EXPECT_EQ(pixelAt(300, 160), grey) << "Get Mid File's face, left of its caption";
  ReleaseDC(f.window.window(), screen);
}

TEST(Win32Window, CarriesTheIconOfTheResources) {
  RealForm f;
  HICON icon = reinterpret_cast<HICON>(GetClassLongPtrA(f.window.window(), GCLP_HICON));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  GetObjectA(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
}

TEST(Win32Window, ChildrenFollowTheTabOrderAndTabMovesAmongVisibleButtonsOnly) {
  RealForm f;
  std::vector<const ControlDesign*> byTabIndex;
  for (const auto& design : kForm1Design.controls) byTabIndex.push_back(&design);
  std::sort(byTabIndex.begin(), byTabIndex.end(),
            [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
  HWND child = GetWindow(f.window.window(), GW_CHILD);
  for (const ControlDesign* design : byTabIndex) {
    EXPECT_EQ(child, f.Control(design->id)) << design->name;
    child = GetWindow(child, GW_HWNDNEXT);
  }

  EXPECT_EQ(GetFocus(), f.Control(ControlId::CmdGetMidFile)) << "the only visible button";

  // With all three buttons showing, Tab walks them in tab order and wraps; the labels take no
  // focus. Only the dialog-message handling in the loop turns Tab into a focus move.
  for (ControlId id : {ControlId::cmdPlay, ControlId::cmdStop}) f.window.SetVisible(id, true);
  SetFocus(f.Control(ControlId::cmdPlay));
  for (ControlId expected : {ControlId::cmdStop, ControlId::CmdGetMidFile, ControlId::cmdPlay}) {
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    f.window.ProcessPendingEvents();
    EXPECT_EQ(GetFocus(), f.Control(expected)) << kForm1Design.control(expected).name;
  }
}

// Stop's handler is safe to run on an Idle window: a close that fails, then Idle again.
TEST(Win32Window, SpaceOrEnterOnTheFocusedButtonClicksIt) {
  RealForm f;
  for (UINT key : {VK_SPACE, VK_RETURN}) {
    f.window.SetVisible(ControlId::cmdStop, true);
    SetFocus(f.Control(ControlId::cmdStop));
    PostMessageA(f.Control(ControlId::cmdStop), WM_KEYDOWN, key, 0);
    PostMessageA(f.Control(ControlId::cmdStop), WM_KEYUP, key, 0xC0000000);
    f.window.ProcessPendingEvents();
    EXPECT_FALSE(f.Shows(ControlId::cmdStop)) << "key " << key;
  }
}

TEST(Win32Window, HidingTheFocusedButtonHandsTheFocusToTheOneShownNext) {
  RealForm f;
  f.window.SetVisible(ControlId::cmdPlay, true);
  f.window.SetVisible(ControlId::CmdGetMidFile, false);
  EXPECT_EQ(GetFocus(), f.Control(ControlId::cmdPlay));
  f.window.SetVisible(ControlId::cmdPlay, false);
  f.window.SetVisible(ControlId::cmdStop, true);
  EXPECT_EQ(GetFocus(), f.Control(ControlId::cmdStop));
}

TEST(Win32Window, CaptionsStopAtTheFirstNulAndBreakLinesAtCrLf) {
  RealForm f;
  f.window.SetCaption(ControlId::Label1, std::string_view("Now Playing \r\ntune.mid\0   ", 27));
  EXPECT_EQ(f.Caption(ControlId::Label1), "Now Playing \r\ntune.mid");
}

TEST(Win32Window, MetricsReadAndMoveTheRealWindowInTwips) {
  RealForm f;
  const auto& scale = f.window.scale();
  HWND window = f.window.window();
  ASSERT_TRUE(SetWindowPos(window, nullptr, 100, 80, 200, 220, SWP_NOZORDER));
  EXPECT_EQ(f.window.GetWindowMetric(WindowMetric::Left), scale.ToTwipsX(100));
  EXPECT_EQ(f.window.GetWindowMetric(WindowMetric::Top), scale.ToTwipsY(80));
  EXPECT_EQ(f.window.GetWindowMetric(WindowMetric::Width), scale.ToTwipsX(200));
  EXPECT_EQ(f.window.GetWindowMetric(WindowMetric::Height), scale.ToTwipsY(220));

  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Top, scale.ToTwipsY(80) + 30 * 10));
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Left, scale.ToTwipsX(100) + 30 * 10));
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Width, scale.ToTwipsX(200) - 60 * 10));
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Height, scale.ToTwipsY(220) - 60 * 10));
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.top, 80 + *scale.ToPixelsY(300));
  EXPECT_EQ(rect.left, 100 + *scale.ToPixelsX(300));
  EXPECT_EQ(rect.right - rect.left, 200 - *scale.ToPixelsX(600));
  EXPECT_EQ(rect.bottom - rect.top, 220 - *scale.ToPixelsY(600));

  const auto screenWidth = f.window.ScreenWidth();
  ASSERT_TRUE(screenWidth);
  EXPECT_EQ(*screenWidth, scale.ToTwipsX(1920)) << "the private X screen is 1920 pixels wide";
}

TEST(Win32Window, RefusesValuesItCannotTakeAndAnyMoveWhileMinimised) {
  RealForm f;
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Width, -60.0f));
  EXPECT_FALSE(
      f.window.SetWindowMetric(WindowMetric::Top, std::numeric_limits<float>::quiet_NaN()));
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Left, 1e30f));

  ShowWindow(f.window.window(), SW_MINIMIZE);
  f.window.ProcessPendingEvents();
  ASSERT_TRUE(IsIconic(f.window.window()));
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Top, 1500.0f));
  ShowWindow(f.window.window(), SW_RESTORE);
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Top, 1500.0f));
}

TEST(Win32Window, ProcessPendingEventsRunsAWaitingClickAndReturns) {
  RealForm f;
  f.window.SetVisible(ControlId::cmdStop, true);
  PostMessageA(f.Control(ControlId::cmdStop), BM_CLICK, 0, 0);
  f.window.ProcessPendingEvents();
  EXPECT_FALSE(f.Shows(ControlId::cmdStop)) << "the waiting Stop click ran";
  MSG left;
  EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE | PM_QS_POSTMESSAGE));
}

}  // namespace
}  // namespace velmora
