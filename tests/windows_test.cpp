// The Windows platform under Wine as the user sees and drives it: the stored design at the
// display's DPI (96, and 144 in a second run of the same test), status texts that stay above an
// intact notice, the real open dialog, Wine's sequencer, the keyboard, and the closing slide's
// pace; the focus through deactivation, contrast themes, the end of a session, two-byte code
// pages. (Velmora.exe itself is started and closed by tests/wine_tests.sh.)
#include <gtest/gtest.h>

#include <process.h>
#include <shlobj.h>  // DROPFILES

#include <array>
#include <chrono>
#include <cmath>
#include <future>
#include <map>

#include "main_window/form1.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_mci.h"
#include "platform/win32/win32_open_file_dialog.h"
#include "platform/win32/win32_window_system.h"

namespace velmora {
namespace {

using platform::WindowMetric;
constexpr COLORREF kGrey = 0x00C0C0C0;

// Wine's sequencer, every command noted.
struct RecordingMci : win32::Win32Mci {
  std::vector<std::string> sent;
  platform::MciError SendString(const std::string& command) override {
    return sent.push_back(command), Win32Mci::SendString(command);
  }
};

// Form1 on the real window system, shown; its window system can be one watched by a test.
template <typename Window = win32::Win32WindowSystem>
struct RealForm {
  Window window{GetModuleHandleA(nullptr)};
  win32::Win32OpenFileDialog dialog;
  RecordingMci mci;
  win32::Win32FileSystem files;
  win32::Win32Clock clock;
  Form1 form{{window, dialog, mci, files, clock}};
  RealForm() { window.Show(form, SW_SHOWNORMAL), window.ProcessPendingEvents(); }
  ~RealForm() { mci.SendString("close all"); }
  HWND operator[](ControlId id) const { return window.control(id); }
  bool Shows(ControlId id) const { return IsWindowVisible(window.control(id)) != FALSE; }
  void Click(ControlId id) {
    SendMessageA(window.control(id), BM_CLICK, 0, 0), window.ProcessPendingEvents();
  }
  // A key on the focused button, as the keyboard alone works the window.
  void Press(UINT key) {
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 0), PostMessageA(GetFocus(), WM_KEYUP, key, 3u << 30);
    window.ProcessPendingEvents();
  }
  RECT Rect(ControlId id) const {
    RECT rect{};
    GetWindowRect(window.control(id), &rect);
    MapWindowPoints(nullptr, window.window(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }
};

// Clicks Get Mid File; a second thread finds the dialog titled "Open File", notes whether it is
// ownerless with the main window enabled and its first file type, then types the path and
// confirms, or cancels for an empty path. A dialog that stays open ends the test program with a
// message after 5 s, instead of holding the click until CTest's timeout.
std::string ChooseInDialog(RealForm<>& f, const std::string& path) {
  auto seen = std::async(std::launch::async, [&f, path] {
    HWND dialog = nullptr;
    for (int wait = 0; wait < 100 && !(dialog = FindWindowA("#32770", "Open File")); ++wait)
      Sleep(50);
    if (dialog == nullptr) return std::string("no dialog");
    char type[256] = {};
    SendDlgItemMessageA(dialog, 0x470 /* cmb1 */, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(type));
    const bool modeless =
        GetWindow(dialog, GW_OWNER) == nullptr && IsWindowEnabled(f.window.window());
    HWND name = GetDlgItem(dialog, 0x47c);  // cmb13 in the Explorer-style dialog, edt1 otherwise
    SendMessageA(name ? name : GetDlgItem(dialog, 0x480), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(path.c_str()));
    SendMessageA(GetDlgItem(dialog, path.empty() ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
    for (int wait = 0; wait < 100 && IsWindow(dialog); ++wait) Sleep(50);
    if (IsWindow(dialog))  // stderr: written at once, before the process ends
      std::fputs("FAIL: the open dialog still open after 5 s\n", stderr), ExitProcess(4);
    return std::string(type) + (modeless ? "" : " (owned, or the window disabled)");
  });
  f.Click(ControlId::CmdGetMidFile);
  return seen.get();
}

// The client area as the window system holds it for the screen, in the window's own pixels. Wine
// 10 keeps the display at 96 DPI and shows a program aware of 144 DPI on a screen 1.5 times as
// wide, scaled down onto it, so the display's pixels are not the window's (Wine 8's were).
std::vector<COLORREF> Capture(HWND window, int w, int h) {
  HDC screen = GetDC(window), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels.push_back(GetPixel(memory, x, y));
  DeleteDC(memory), DeleteObject(bitmap), ReleaseDC(window, screen);
  return pixels;
}

// The tune under a name with blanks and letters outside Windows-1252.
struct TestFiles {
  std::string folder =
      std::string(std::getenv("TEMP")) + "\\velmora " + std::to_string(GetCurrentProcessId());
  std::string tune = folder + "\\Ünïcødé ♫ tune.mid";
  TestFiles() {
    CreateDirectoryA(folder.c_str(), nullptr), CopyFileA(VELMORA_DEMO_TUNE, tune.c_str(), FALSE);
  }
  ~TestFiles() { DeleteFileA(tune.c_str()), RemoveDirectoryA(folder.c_str()); }
};

// Notes when each closing pass reached the screen; ends the program with 0 only if the test had no
// failure and the slide was paced by the clock: never under half a second (the core's test checks
// the pace itself). On a loaded machine a pass takes longer than its share and the slide with it,
// so the upper bound only catches a slide that waits far too long.
struct TimedWindow : win32::Win32WindowSystem {
  using Win32WindowSystem::Win32WindowSystem;
  std::vector<platform::Clock::Duration> passes;
  bool UpdateScreen() override {
    return passes.push_back(win32::Win32Clock().Now()), Win32WindowSystem::UpdateScreen();
  }
  [[noreturn]] void EndProgram() override {
    const double took = std::chrono::duration<double>(passes.back() - passes.front()).count();
    std::printf("slide: %zu passes in %.3f s\n", passes.size(), took);
    ExitProcess(::testing::Test::HasFailure() ? 1 : took >= 0.5 && took <= 8.0 ? 0 : 3);
  }
};

// WCAG's contrast between the lightest and the darkest colour inside a control's edges on the
// screen: its ink's on its face (1: no ink).
double InkContrast(HWND control) {
  RECT r;
  GetClientRect(control, &r);
  const auto pixels = Capture(control, r.right, r.bottom);
  double lightest = 0, darkest = 2;
  for (int y = 4; y < r.bottom - 4; ++y)
    for (int x = 4; x < r.right - 4; ++x) {
      const COLORREF c = pixels[y * r.right + x];
      double l = 0.05;  // relative luminance, and the flare both sides of the ratio get
      for (auto [byte, weight] :
           {std::pair{GetRValue(c), 0.2126}, {GetGValue(c), 0.7152}, {GetBValue(c), 0.0722}})
        l += weight * (byte <= 10 ? byte / 3294.6 : std::pow((byte / 255.0 + 0.055) / 1.055, 2.4));
      lightest = std::max(lightest, l), darkest = std::min(darkest, l);
    }
  return lightest / darkest;
}

// Every caption readable: the three buttons (shown for the measure) and both labels.
template <typename Window>
void ExpectEveryCaptionReadable(RealForm<Window>& f) {
  for (ControlId id : {ControlId::cmdPlay, ControlId::cmdStop}) ShowWindow(f[id], SW_SHOWNA);
  f.window.SetCaption(ControlId::Label1, "Now Playing"), f.window.ProcessPendingEvents();
  for (const ControlDesign& c : kForm1Design.controls)
    EXPECT_GE(InkContrast(f[c.id]), 4.5) << c.name;
  for (ControlId id : {ControlId::cmdPlay, ControlId::cmdStop}) ShowWindow(f[id], SW_HIDE);
  f.window.SetCaption(ControlId::Label1, ""), f.window.ProcessPendingEvents();
}

// Sets COLOR_BTNFACE, _BTNTEXT, _WINDOW and _WINDOWTEXT (sending WM_SYSCOLORCHANGE); the earlier.
std::vector<COLORREF> SetSystemColours(std::vector<COLORREF> colours) {
  const std::array elements{COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_WINDOW, COLOR_WINDOWTEXT};
  std::vector<COLORREF> before;
  for (int element : elements) before.push_back(GetSysColor(element));
  return SetSysColors(4, elements.data(), colours.data()), before;
}

// Runs the test that is running now again in a new process, with the display at `dpi` (Wine reads
// it when a program starts); its exit code. The run within knows itself and its DPI by
// VELMORA_RERUN.
DWORD RunAgain(DWORD dpi) {
  const char* desktop = "Control Panel\\Desktop";
  RegSetKeyValueA(HKEY_CURRENT_USER, desktop, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  _putenv(("VELMORA_RERUN=" + std::to_string(dpi)).c_str());
  const auto code = static_cast<DWORD>(_spawnl(_P_WAIT, program, program, filter.c_str(), nullptr));
  _putenv("VELMORA_RERUN=");
  RegDeleteKeyValueA(HKEY_CURRENT_USER, desktop, "LogPixels");
  return code;
}
bool IsARerun() { return std::getenv("VELMORA_RERUN") != nullptr; }

TEST(Win32Window, IsTheDesignItsStatusTextsStayAboveTheWholeNoticeAndClosingSlidesAway) {
  if (!IsARerun()) {
    // A contrast theme's system colours, white text on black, but the theme is not on.
    const auto colours = SetSystemColours({0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF});
    EXPECT_EQ(RunAgain(144), 0u) << "at 144 DPI (3: the closing slide too fast or too slow)";
    SetSystemColours(colours);
  }
  RealForm<TimedWindow> f;
  const win32::TwipsScale& scale = f.window.scale();
  const int dpi = IsARerun() ? std::atoi(std::getenv("VELMORA_RERUN")) : 96;
  ASSERT_EQ(std::vector({scale.dpiX, scale.dpiY}), std::vector({dpi, dpi})) << "not the set DPI";
  RECT client{};
  GetClientRect(f.window.window(), &client);
  EXPECT_EQ(client.right * 1000 + client.bottom, dpi == 96 ? 178155 : 267233) << dpi;
  EXPECT_EQ(
      GetWindowLongA(f.window.window(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX),
      WS_CAPTION);
  // Left, top, width, height in pixels, in the design's order: twips / 15 at 96 DPI, / 10 at 144.
  // clang-format off
  const std::map<int, std::vector<std::vector<LONG>>> pixels{
      {96, {{8, 8, 161, 25}, {8, 32, 161, 25}, {8, 56, 161, 25}, {8, 88, 161, 57},
            {0, 136, 177, 17}}},
      {144, {{12, 12, 242, 38}, {12, 48, 242, 38}, {12, 84, 242, 38}, {12, 132, 242, 86},
             {0, 204, 266, 26}}}};
  // clang-format on
  for (const ControlDesign& c : kForm1Design.controls) {
    const RECT r = f.Rect(c.id);
    EXPECT_EQ(std::vector({r.left, r.top, r.right - r.left, r.bottom - r.top}),
              pixels.at(dpi).at(static_cast<std::size_t>(c.id)))
        << c.name;
    EXPECT_EQ(f.Shows(c.id), c.visible) << c.name;
  }
  EXPECT_EQ(GetFocus(), f[ControlId::CmdGetMidFile]);
  ExpectEveryCaptionReadable(f);  // at 144 DPI: with a contrast theme's system colours
  EXPECT_NE(GetClassLongPtrA(f.window.window(), GCLP_HICON), 0);

  // Every text the status line shows, Wine's error texts (their first sentence) included, stays in
  // the part of Label1 above the notice; nothing else changes, the notice included.
  std::vector<std::string> captions{"Please Wait", "Now Playing \r\nÜnïcødé ♫ tune.mid", ""};
  for (const MCIERROR code : {275, 296, 263}) {
    char text[256] = {};
    ASSERT_TRUE(mciGetErrorStringA(code, text, sizeof text));
    const std::string whole = text;
    const std::size_t end = whole.find(". ");
    captions.push_back("open: " + whole.substr(0, end == std::string::npos ? end : end + 1));
  }
  const RECT label = f.Rect(ControlId::Label1);
  const LONG freeBottom = f.Rect(ControlId::Label2).top;
  const auto before = Capture(f.window.window(), client.right, client.bottom);
  EXPECT_GT(std::count_if(before.begin() + freeBottom * client.right, before.end(),
                          [](COLORREF c) { return c != kGrey; }),
            0)
      << "the notice shows";
  HDC dc = GetDC(f[ControlId::Label1]);
  SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(f[ControlId::Label1], WM_GETFONT, 0, 0)));
  for (const std::string& caption : captions) {
    f.window.SetCaption(ControlId::Label1, caption);
    f.window.ProcessPendingEvents();
    const auto after = Capture(f.window.window(), client.right, client.bottom);
    int changedOutside = 0, ink = 0;
    for (int i = 0; i < client.right * client.bottom; ++i) {
      const LONG x = i % client.right, y = i / client.right;
      const bool inside = x >= label.left && x < label.right && y >= label.top && y < freeBottom;
      changedOutside += !inside && after[i] != before[i];
      ink += inside && after[i] != kGrey;
    }
    RECT needed{0, 0, label.right - label.left, 0};
    DrawTextA(dc, caption.c_str(), -1, &needed,
              DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_EQ(changedOutside, 0) << caption << ": drawn outside Label1 or over the notice";
    EXPECT_EQ(ink > 0, !caption.empty()) << caption;
    EXPECT_LE(needed.bottom, freeBottom - label.top)
        << caption << ": does not fit above the notice";
  }
  ReleaseDC(f[ControlId::Label1], dc);

  // The window moves once a pass, at the screen's update; it refuses what it cannot take.
  HWND window = f.window.window();
  SetWindowPos(window, nullptr, 100, 80, 200, 220, SWP_NOZORDER);
  EXPECT_TRUE(f.window.SetWindowMetric(WindowMetric::Top, scale.ToTwipsY(100)));
  RECT frame{};
  EXPECT_EQ((GetWindowRect(window, &frame), frame.top), 80);
  EXPECT_TRUE(f.window.UpdateScreen());
  EXPECT_EQ((GetWindowRect(window, &frame), frame.top), 100);
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Height, -60.0f));
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_FALSE(f.window.SetWindowMetric(WindowMetric::Top, 1500.0f)) << "minimised";
  if (!IsARerun()) return;  // closing ends the process: in the run at 144 DPI, its last step
  ShowWindow(window, SW_RESTORE);
  PostMessageA(window, WM_CLOSE, 0, 0);
  f.window.RunMessageLoop();
  ExitProcess(5);
}

// A file dropped as Explorer drops it: a DROPFILES record with the path (in the process's code
// page).
HGLOBAL DropOf(const std::string& path) {
  HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + path.size() + 2);
  auto* list = static_cast<DROPFILES*>(GlobalLock(drop));
  list->pFiles = sizeof(DROPFILES);
  std::copy(path.begin(), path.end(), reinterpret_cast<char*>(list + 1)), GlobalUnlock(drop);
  return drop;  // freed by the window's DragFinish
}

// What a user does in a row: a cancel, a choice, other windows, the keys, a drop, the media keys
// and the end of the session; the focus stays on the button to press.
TEST(Win32Form, ChoosesInTheDialogThenPlaysAndStopsByKeysThroughWinesSequencer) {
  ASSERT_EQ(GetACP(), UINT{CP_UTF8}) << "the manifest's UTF-8 code page";
  TestFiles files;
  RealForm f;
  HWND window = f.window.window();
  EXPECT_EQ(ChooseInDialog(f, ""), "Mid Files (*.mid) (*.Mid)");
  EXPECT_EQ(GetFocus(), f[ControlId::CmdGetMidFile]) << "after a cancelled dialog";
  EXPECT_EQ(f.form.FileName, std::string(254, ' ')) << "a cancel's blanks come back as they went";
  EXPECT_EQ(ChooseInDialog(f, files.tune), "Mid Files (*.mid) (*.Mid)");
  EXPECT_EQ(f.form.FileTitle, "Ünïcødé ♫ tune.mid");
  ASSERT_EQ(GetFocus(), f[ControlId::cmdPlay]) << "the focus follows the button shown";
  HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_TRUE(SetForegroundWindow(other) && GetActiveWindow() == other);
  SetForegroundWindow(window), DestroyWindow(other), f.window.ProcessPendingEvents();
  EXPECT_EQ(GetFocus(), f[ControlId::cmdPlay]) << "after another window was active";
  ShowWindow(window, SW_MINIMIZE), ShowWindow(window, SW_RESTORE), f.window.ProcessPendingEvents();
  ASSERT_EQ(GetFocus(), f[ControlId::cmdPlay]) << "after a restore";
  f.Press(VK_SPACE);
  char mode[64] = {};
  EXPECT_EQ(mciSendStringA("status mcitest mode", mode, sizeof mode, nullptr), 0u);
  EXPECT_STREQ(mode, "playing") << "by the short form of a path with blanks and UTF-8 letters";
  ASSERT_EQ(GetFocus(), f[ControlId::cmdStop]);
  f.Press(VK_RETURN);
  EXPECT_EQ(f.mci.SendString("close mcitest"), 263u) << "Enter on Stop closed the device";
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));

  // A drop plays; the media keys stop and play (Pause stops: there is no pause); the session's end
  // closes the sequencer at once, the window staying where it is.
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "for Explorer's drops";
  f.mci.sent.clear();
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(files.tune)), 0);
  std::string seen;
  for (int key : {APPCOMMAND_MEDIA_STOP, APPCOMMAND_MEDIA_PLAY_PAUSE, APPCOMMAND_MEDIA_PLAY_PAUSE,
                  APPCOMMAND_MEDIA_PLAY, APPCOMMAND_MEDIA_PLAY, APPCOMMAND_MEDIA_PAUSE,
                  APPCOMMAND_MEDIA_PLAY}) {
    seen += f.Shows(ControlId::cmdStop) ? "playing " : "stopped ";
    SendMessageA(window, WM_APPCOMMAND, 0, MAKELPARAM(0, key)), f.window.ProcessPendingEvents();
  }
  RECT placed{}, after{};
  GetWindowRect(window, &placed);
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  for (const std::string& command : f.mci.sent) seen += command.substr(0, command.find(' ')) + " ";
  EXPECT_EQ(seen,
            "playing stopped playing stopped playing playing stopped "
            "open play close open play close open play close open play close ");
  EXPECT_TRUE(IsWindowVisible(window) && GetWindowRect(window, &after) &&
              after.left == placed.left);
}

// Wine has no contrast themes (SPI_GETHIGHCONTRAST says none): this window is told it has one.
struct ThemedWindow : win32::Win32WindowSystem {
  using Win32WindowSystem::Win32WindowSystem;
  bool HighContrast() const override { return true; }
};

TEST(Win32Window, TakesTheContrastThemesColoursAndFollowsTheirChange) {
  const auto colours = SetSystemColours({0x800000, 0x00FFFF, 0x000000, 0xFFFFFF});
  {
    RealForm<ThemedWindow> f;
    // The form's corner, clear of every control, and a button's face: the theme's, then the next.
    for (auto [back, face] : {std::pair{0x000000, 0x800000}, {0xFFFFFF, 0xFFFFFF}}) {
      f.window.ProcessPendingEvents();
      EXPECT_EQ(Capture(f.window.window(), 4, 4).back(), COLORREF(back));
      EXPECT_EQ(Capture(f[ControlId::CmdGetMidFile], 12, 12).back(), COLORREF(face));
      ExpectEveryCaptionReadable(f);
      SetSystemColours({0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000});  // black on white
    }
    EXPECT_FALSE(win32::Win32WindowSystem(GetModuleHandleA(nullptr)).Show(f.form, SW_SHOWNORMAL))
        << "a second window of the class";
  }
  SetSystemColours(colours);
}

// 95 5C: one character of code page 932, whose second byte is the backslash's; UTF-8 has none.
TEST(Win32Files, FindTheTitleByTheCodePagesCharacters) {
  EXPECT_EQ(win32::Win32FileSystem(932).TitleStart("C:\\\x95\\.mid"), 3u);
  EXPECT_EQ(win32::Win32FileSystem().TitleStart("C:\\\x95\\.mid"), 5u);
  EXPECT_EQ(win32::Win32FileSystem().TitleStart("C:\\Ü\\表.mid") * 10 +
                win32::Win32FileSystem().TitleStart("tune.mid"),
            60u);
}

}  // namespace
}  // namespace velmora
