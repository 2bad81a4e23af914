// Velmora.exe itself under Wine: it starts into its window, at the prefix's DPI, and closing the
// window slides the window down and to the right and ends the process.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/win32/windows_api.h"

namespace velmora {
namespace {

struct ProgramWindow {
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK NoteProgramWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<ProgramWindow*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char caption[32] = {};
  GetWindowTextA(window, caption, sizeof caption);
  if (owner != search->processId || std::string(caption) != "Velmora") return TRUE;
  search->found = window;
  return FALSE;
}

HWND WaitForWindowOf(DWORD processId) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    ProgramWindow search{processId};
    EnumWindows(&NoteProgramWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr && IsWindowVisible(search.found)) return search.found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

PROCESS_INFORMATION StartVelmora() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  char commandLine[] = "\"" VELMORA_EXE "\"";
  CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 &process);
  return process;
}

// Wine reads the logical DPI from the prefix when a program starts. At 144 DPI (150 %) the window's
// 2670 x 2325 twips take 267 x 233 pixels: the twips are laid out at the real DPI.
TEST(VelmoraExe, At144DpiItsClientAreaIs267By233Pixels) {
  HKEY desktop = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop),
            ERROR_SUCCESS);
  const DWORD dpi = 144;
  RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                 sizeof dpi);
  const PROCESS_INFORMATION process = StartVelmora();
  HWND window = WaitForWindowOf(process.dwProcessId);
  RegDeleteValueA(desktop, "LogPixels");  // the next programs start at the session's DPI again
  RegCloseKey(desktop);
  ASSERT_NE(window, nullptr) << "no visible window captioned Velmora";
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 267);
  EXPECT_EQ(client.bottom, 233);
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

TEST(VelmoraExe, StartsIntoItsWindowAndClosingSlidesItAwayAndEndsTheProcess) {
  const PROCESS_INFORMATION process = StartVelmora();
  ASSERT_NE(process.hProcess, nullptr) << VELMORA_EXE;

  HWND window = WaitForWindowOf(process.dwProcessId);
  ASSERT_NE(window, nullptr) << "no visible window captioned Velmora";
  RECT start;
  GetWindowRect(window, &start);

  PostMessageA(window, WM_CLOSE, 0, 0);
  // Follow the window while it slides: it only moves right and down, then the process ends.
  RECT last = start;
  while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    RECT now;
    if (!GetWindowRect(window, &now)) break;
    EXPECT_GE(now.top, last.top);
    EXPECT_GE(now.left, last.left);
    last = now;
  }
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0) << "still running";
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_GT(last.top, start.top) << "the window was seen moving down before it went";
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace velmora
