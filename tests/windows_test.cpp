// The Windows platform under Wine as the user sees and drives it: the stored design at the
// display's DPI (96, and 144 in a second run), status texts that stay above an intact notice, the
// real open dialog, Wine's sequencer, the keyboard, and Velmora.exe's closing slide.
#include "tests/win32_harness.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace velmora::testing {
namespace {

using platform::WindowMetric;
constexpr COLORREF kGrey = 0x00C0C0C0;

RECT RectInParent(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

#define ALSO_AT_144_DPI()                                                      \
  if (!IsARunAtAnotherDpi()) {                                                 \
    EXPECT_EQ(RunThisTestAtDpi(144), 0u) << "the same test at 144 DPI failed"; \
  }

TEST(Win32Window, IsTheStoredDesignInPixelsAtTheDisplaysDpi) {
  ALSO_AT_144_DPI();
  RealForm f;
  const win32::TwipsScale& scale = f.window.scale();
  RECT client{};
  GetClientRect(f.window.window(), &client);
  EXPECT_EQ(std::make_pair(client.right, client.bottom),
            scale.dpiX == 96 ? std::make_pair(178L, 155L) : std::make_pair(267L, 233L))
      << scale.dpiX << " DPI";
  const LONG style = GetWindowLongA(f.window.window(), GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX), WS_CAPTION) << "fixed border";
  for (const ControlDesign& design : kForm1Design.controls) {
    const RECT r = RectInParent(f.Control(design.id));
    char kind[16] = {};
    GetClassNameA(f.Control(design.id), kind, sizeof kind);
    EXPECT_EQ(std::vector({r.left, r.top, r.right - r.left, r.bottom - r.top}),
              std::vector<LONG>({*scale.ToPixelsX(design.left), *scale.ToPixelsY(design.top),
                                 *scale.ToPixelsX(design.width), *scale.ToPixelsY(design.height)}))
        << design.name;
    EXPECT_STREQ(kind, design.kind == ControlKind::PushButton ? "Button" : "Static");
    EXPECT_EQ(f.Shows(design.id), design.visible) << design.name;
  }
  const Screenshot shot = Capture(f.window.window());
  for (const auto& [x, y] : {std::pair{2, 2}, {client.right - 4, client.bottom / 2}, {10, 92}})
    EXPECT_EQ(shot.At(x, y), kGrey) << "at " << x << "," << y;
  EXPECT_NE(GetClassLongPtrA(f.window.window(), GCLP_HICON), 0);
  EXPECT_EQ(GetFocus(), f.Control(ControlId::CmdGetMidFile));
}

// Every text the status line shows, Wine's error texts included, stays in the part of Label1 above
// the notice and whole; nothing else on the window changes, the notice included.
TEST(Win32Window, StatusTextsStayInLabel1AboveTheWholeNotice) {
  ALSO_AT_144_DPI();
  RealForm f;
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nÜnïcødé ♫ tune.mid", ""};
  for (const MCIERROR code : {275, 296, 263}) {
    char text[256] = {};
    ASSERT_TRUE(mciGetErrorStringA(code, text, sizeof text));
    const std::string whole = text;  // the window shows its first sentence
    const std::size_t end = whole.find(". ");
    captions.push_back("open: " + whole.substr(0, end == std::string::npos ? end : end + 1));
  }
  const RECT label = RectInParent(f.Control(ControlId::Label1));
  const LONG freeBottom = RectInParent(f.Control(ControlId::Label2)).top;
  const Screenshot before = Capture(f.window.window());
  const auto noticeInk = std::count_if(before.pixels.begin() + freeBottom * before.w,
                                       before.pixels.end(), [](COLORREF c) { return c != kGrey; });
  EXPECT_GT(noticeInk, 0) << "the notice shows";
  HDC dc = GetDC(f.Control(ControlId::Label1));
  SelectObject(
      dc, reinterpret_cast<HFONT>(SendMessageA(f.Control(ControlId::Label1), WM_GETFONT, 0, 0)));
  for (const std::string& caption : captions) {
    SCOPED_TRACE(caption);
    f.window.SetCaption(ControlId::Label1, caption);
    f.window.ProcessPendingEvents();
    const Screenshot after = Capture(f.window.window());
    int changedOutside = 0, ink = 0;
    for (int y = 0; y < after.h; ++y) {
      for (int x = 0; x < after.w; ++x) {
        const bool inside = x >= label.left && x < label.right && y >= label.top && y < freeBottom;
        changedOutside += !inside && after.At(x, y) != before.At(x, y);
        ink += inside && after.At(x, y) != kGrey;
      }
    }
    EXPECT_EQ(changedOutside, 0) << "drawn outside Label1 or over the notice";
    EXPECT_EQ(ink > 0, !caption.empty());
    RECT needed{0, 0, label.right - label.left, 0};
    DrawTextA(dc, caption.c_str(), -1, &needed,
              DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_LE(needed.bottom, freeBottom - label.top) << "the text does not fit above the notice";
  }
  ReleaseDC(f.Control(ControlId::Label1), dc);
}

TEST(Win32Form, ChoosesInTheRealDialogPlaysThroughWinesSequencerAndStops) {
  ASSERT_EQ(GetACP(), UINT{CP_UTF8}) << "the manifest's UTF-8 code page was not applied";
  TestFiles files;
  RealForm f;
  const DialogSeen seen = ChooseInDialog(f, files.tune);
  ASSERT_TRUE(seen.found) << "no dialog titled \"Open File\"";
  EXPECT_TRUE(seen.ownerless);
  EXPECT_TRUE(seen.mainWindowEnabled);
  EXPECT_EQ(seen.firstFileType, "Mid Files (*.mid) (*.Mid)");
  EXPECT_EQ(f.form.FileTitle, "Ünïcødé ♫ tune.mid");

  f.Click(ControlId::cmdPlay);
  char mode[64] = {};
  EXPECT_EQ(mciSendStringA("status mcitest mode", mode, sizeof mode, nullptr), 0u);
  EXPECT_STREQ(mode, "playing") << "by the short form of a path with blanks and UTF-8 letters";
  EXPECT_EQ(f.Caption(ControlId::Label1), "Now Playing \r\nÜnïcødé ♫ tune.mid");
  f.Click(ControlId::cmdStop);
  EXPECT_EQ(f.mci.SendString("close mcitest"), 263u) << "Stop closed the device";
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
}

TEST(Win32Form, ACancelLeavesTheWindowIdleAndAFileThatIsNotMidiSaysSoInOneSentence) {
  TestFiles files;
  RealForm f;
  ASSERT_TRUE(ChooseInDialog(f, "").found);
  EXPECT_EQ(f.form.FileName, std::string(254, ' ')) << "the blanks come back as they went in";
  EXPECT_FALSE(f.Shows(ControlId::cmdPlay));

  ASSERT_TRUE(ChooseInDialog(f, files.notMidi).found);
  f.Click(ControlId::cmdPlay);
  const std::string status = f.Caption(ControlId::Label1);
  EXPECT_EQ(status.rfind("open: ", 0), 0u) << status;
  EXPECT_EQ(status.find(". "), std::string::npos) << status;
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(f.Shows(ControlId::cmdStop));
}

TEST(Win32Window, SpaceOrEnterClicksTheFocusedButtonAndTheFocusFollowsTheShownOne) {
  RealForm f;
  f.window.SetVisible(ControlId::cmdPlay, true);
  f.window.SetVisible(ControlId::CmdGetMidFile, false);
  EXPECT_EQ(GetFocus(), f.Control(ControlId::cmdPlay)) << "a hidden button hands the focus on";
  f.window.SetVisible(ControlId::cmdPlay, false);
  for (const UINT key : {VK_SPACE, VK_RETURN}) {
    f.window.SetVisible(ControlId::cmdStop, true);
    SetFocus(f.Control(ControlId::cmdStop));
    PostMessageA(f.Control(ControlId::cmdStop), WM_KEYDOWN, key, 0);
    PostMessageA(f.Control(ControlId::cmdStop), WM_KEYUP, key, 0xC0000000);
    f.window.ProcessPendingEvents();
    EXPECT_FALSE(f.Shows(ControlId::cmdStop)) << "key " << key;  // Stop's handler ran
    EXPECT_EQ(GetFocus(), f.Control(ControlId::CmdGetMidFile)) << "key " << key;
  }
}

TEST(Win32Window, AMoveReachesTheScreenOncePerUpdateAndWhatCannotBeTakenIsRefused) {
  RealForm f;
  HWND window = f.window.window();
  const win32::TwipsScale& scale = f.window.scale();
  SetWindowPos(window, nullptr, 100, 80, 200, 220, SWP_NOZORDER);
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Top, scale.ToTwipsY(80 + 20)));
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Width, scale.ToTwipsX(200 - 40)));
  EXPECT_EQ(f.window.GetWindowMetric(WindowMetric::Top), scale.ToTwipsY(100));
  f.window.UpdateScreen();
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(std::vector({rect.left, rect.top, rect.right - rect.left}),
            std::vector({100L, 100L, 160L}));
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Height, -60.0f));
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Left, std::nanf("")));
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Top, 1500.0f)) << "minimised";
}

// Passes the real window through, noting when each pass reached the screen; at the end of the
// program it exits with 0 only if the slide crossed the screen in about a second.
struct TimedWindow : win32::Win32WindowSystem {
  using Win32WindowSystem::Win32WindowSystem;
  void UpdateScreen() override {
    Win32WindowSystem::UpdateScreen();
    passes.push_back(clock.Now());
  }
  [[noreturn]] void EndProgram() override {
    const double took = std::chrono::duration<double>(passes.back() - passes.front()).count();
    std::printf("slide: %zu passes in %.3f s\n", passes.size(), took);
    std::fflush(stdout);
    ExitProcess(took >= 0.5 && took <= 2.0 ? 0 : 3);
  }
  win32::Win32Clock clock;
  std::vector<platform::Clock::Duration> passes;
};

TEST(Win32Window, ClosingSlidesAcrossTheScreenInAboutASecond) {
  if (!IsARunAtAnotherDpi()) {  // closing ends the process: in a second run of this test
    EXPECT_EQ(RunThisTestAtDpi(96), 0u) << "3: too fast or too slow";
    return;
  }
  TimedWindow window(GetModuleHandleA(nullptr));
  win32::Win32OpenFileDialog dialog;
  win32::Win32Mci mci;
  win32::Win32FileSystem files;
  Form1 form({window, dialog, mci, files, window.clock});
  window.Show(form, SW_SHOWNORMAL);
  PostMessageA(window.window(), WM_CLOSE, 0, 0);
  window.RunMessageLoop();
  ExitProcess(5);  // the loop ended without the program being ended
}

TEST(VelmoraExe, StartsAndClosingSlidesItsWindowDownAndRightAndEndsTheProcess) {
  VelmoraProcess velmora;
  ASSERT_NE(velmora.window, nullptr) << "no visible window captioned Velmora";
  RECT start{}, sliding{};
  GetWindowRect(velmora.window, &start);
  PostMessageA(velmora.window, WM_CLOSE, 0, 0);
  Sleep(300);
  GetWindowRect(velmora.window, &sliding);
  EXPECT_GT(sliding.top, start.top);
  EXPECT_GT(sliding.left, start.left);
  ASSERT_EQ(WaitForSingleObject(velmora.process.hProcess, 10000), WAIT_OBJECT_0) << "still running";
  DWORD exitCode = 1;
  GetExitCodeProcess(velmora.process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace velmora::testing
