// The Windows platform under Wine as the user sees and drives it: the stored design at the
// display's DPI (96, and 144 in a second run of the same test), status texts that stay above an
// intact notice, the real open dialog, Wine's sequencer, the keyboard, and the closing slide's
// pace. (Velmora.exe itself is started and closed by tests/wine_tests.sh.)
#include <gtest/gtest.h>

#include <process.h>

#include <chrono>
#include <future>

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

// Form1 on the real window system, shown; its window system can be one watched by a test.
template <typename Window = win32::Win32WindowSystem>
struct RealForm {
  Window window{GetModuleHandleA(nullptr)};
  win32::Win32OpenFileDialog dialog;
  win32::Win32Mci mci;
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
// confirms, or cancels for an empty path.
std::string ChooseInDialog(RealForm<>& f, const std::string& path) {
  auto seen = std::async(std::launch::async, [&f, path] {
    HWND dialog = nullptr;
    for (int wait = 0; wait < 200 && !(dialog = FindWindowA("#32770", "Open File")); ++wait)
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
// failure and the slide crossed the screen in about a second.
struct TimedWindow : win32::Win32WindowSystem {
  using Win32WindowSystem::Win32WindowSystem;
  std::vector<platform::Clock::Duration> passes;
  bool UpdateScreen() override {
    return passes.push_back(win32::Win32Clock().Now()), Win32WindowSystem::UpdateScreen();
  }
  [[noreturn]] void EndProgram() override {
    const double took = std::chrono::duration<double>(passes.back() - passes.front()).count();
    std::printf("slide: %zu passes in %.3f s\n", passes.size(), took);
    ExitProcess(::testing::Test::HasFailure() ? 1 : took >= 0.5 && took <= 2.0 ? 0 : 3);
  }
};

// Runs the test that is running now again in a new process, with the display at `dpi` (Wine reads
// it when a program starts); its exit code. The run within knows itself by VELMORA_RERUN.
DWORD RunAgain(DWORD dpi) {
  const char* desktop = "Control Panel\\Desktop";
  RegSetKeyValueA(HKEY_CURRENT_USER, desktop, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  _putenv("VELMORA_RERUN=1");
  const auto code = static_cast<DWORD>(_spawnl(_P_WAIT, program, program, filter.c_str(), nullptr));
  _putenv("VELMORA_RERUN=");
  RegDeleteKeyValueA(HKEY_CURRENT_USER, desktop, "LogPixels");
  return code;
}
bool IsARerun() { return std::getenv("VELMORA_RERUN") != nullptr; }

TEST(Win32Window, IsTheDesignItsStatusTextsStayAboveTheWholeNoticeAndClosingSlidesAway) {
  if (!IsARerun()) {
    EXPECT_EQ(RunAgain(144), 0u) << "at 144 DPI (3: the closing slide too fast or too slow)";
  }
  RealForm<TimedWindow> f;
  const win32::TwipsScale& scale = f.window.scale();
  RECT client{};
  GetClientRect(f.window.window(), &client);
  EXPECT_EQ(client.right * 1000 + client.bottom, scale.dpiX == 96 ? 178155 : 267233) << scale.dpiX;
  EXPECT_EQ(
      GetWindowLongA(f.window.window(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX),
      WS_CAPTION);
  for (const ControlDesign& c : kForm1Design.controls) {
    const RECT r = f.Rect(c.id);
    EXPECT_EQ(std::vector({r.left, r.top, r.right - r.left, r.bottom - r.top}),
              std::vector<LONG>({*scale.ToPixelsX(c.left), *scale.ToPixelsY(c.top),
                                 *scale.ToPixelsX(c.width), *scale.ToPixelsY(c.height)}))
        << c.name;
    EXPECT_EQ(f.Shows(c.id), c.visible) << c.name;
  }
  EXPECT_EQ(GetFocus(), f[ControlId::CmdGetMidFile]);
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

TEST(Win32Form, ChoosesInTheDialogThenPlaysAndStopsByKeysThroughWinesSequencer) {
  ASSERT_EQ(GetACP(), UINT{CP_UTF8}) << "the manifest's UTF-8 code page";
  TestFiles files;
  RealForm f;
  EXPECT_EQ(ChooseInDialog(f, ""), "Mid Files (*.mid) (*.Mid)");
  EXPECT_EQ(f.form.FileName, std::string(254, ' ')) << "a cancel's blanks come back as they went";
  EXPECT_EQ(ChooseInDialog(f, files.tune), "Mid Files (*.mid) (*.Mid)");
  EXPECT_EQ(f.form.FileTitle, "Ünïcødé ♫ tune.mid");
  ASSERT_EQ(GetFocus(), f[ControlId::cmdPlay]) << "the focus follows the button shown";
  f.Press(VK_SPACE);
  char mode[64] = {};
  EXPECT_EQ(mciSendStringA("status mcitest mode", mode, sizeof mode, nullptr), 0u);
  EXPECT_STREQ(mode, "playing") << "by the short form of a path with blanks and UTF-8 letters";
  ASSERT_EQ(GetFocus(), f[ControlId::cmdStop]);
  f.Press(VK_RETURN);
  EXPECT_EQ(f.mci.SendString("close mcitest"), 263u) << "Enter on Stop closed the device";
  EXPECT_TRUE(f.Shows(ControlId::CmdGetMidFile));
}

}  // namespace
}  // namespace velmora
