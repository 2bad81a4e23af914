#include "tests/win32_harness.h"

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

namespace velmora::testing {

namespace {

constexpr auto kPatience = std::chrono::milliseconds(50);

template <typename Found>
Found Poll(const std::function<Found()>& find) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (Found found = find()) return found;
    std::this_thread::sleep_for(kPatience);
  }
  return Found{};
}

DialogSeen AnswerDialog(HWND mainWindow, const std::string& path) {
  DialogSeen seen;
  HWND dialog = Poll<HWND>([] { return FindWindowA("#32770", "Open File"); });
  if (dialog == nullptr) return seen;
  seen = {true, GetWindow(dialog, GW_OWNER) == nullptr, IsWindowEnabled(mainWindow) != FALSE, ""};
  char type[256] = {};
  SendDlgItemMessageA(dialog, 0x470 /* cmb1, the file types */, CB_GETLBTEXT, 0,
                      reinterpret_cast<LPARAM>(type));
  seen.firstFileType = type;
  if (path.empty()) {
    SendMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    return seen;
  }
  // The file-name box: a combo box in the Explorer-style dialog (cmb13), an edit box otherwise.
  HWND name = GetDlgItem(dialog, 0x47c);
  SendMessageA(name != nullptr ? name : GetDlgItem(dialog, 0x480), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(path.c_str()));
  SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  return seen;
}

}  // namespace

RealForm::RealForm() {
  window.Show(form, SW_SHOWNORMAL);
  window.ProcessPendingEvents();
}

std::string RealForm::Caption(ControlId id) const {
  char text[512] = {};
  GetWindowTextA(Control(id), text, sizeof text);
  return text;
}

void RealForm::Click(ControlId id) {
  SendMessageA(Control(id), BM_CLICK, 0, 0);
  window.ProcessPendingEvents();
}

DialogSeen ChooseInDialog(RealForm& form, const std::string& path) {
  auto seen = std::async(std::launch::async, &AnswerDialog, form.window.window(), path);
  form.Click(ControlId::CmdGetMidFile);
  return seen.get();
}

Screenshot Capture(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  Screenshot shot{client.right, client.bottom, {}};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.w, -shot.h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, shot.w, shot.h, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  for (int i = 0; i < shot.w * shot.h; ++i) {
    const DWORD xrgb = static_cast<const DWORD*>(bits)[i];
    shot.pixels.push_back(RGB(xrgb >> 16 & 0xFF, xrgb >> 8 & 0xFF, xrgb & 0xFF));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

TestFiles::TestFiles() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  folder = std::string(temp) + "velmora " + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  tune = folder + "\\Ünïcødé ♫ tune.mid";  // UTF-8: the program runs with the UTF-8 code page
  notMidi = folder + "\\notes.mid";
  CopyFileA(VELMORA_DEMO_TUNE, tune.c_str(), FALSE);
  std::ofstream(notMidi) << "These are notes, not a tune.\n";
}

TestFiles::~TestFiles() {
  DeleteFileA(tune.c_str());
  DeleteFileA(notMidi.c_str());
  RemoveDirectoryA(folder.c_str());
}

bool IsARunAtAnotherDpi() { return GetEnvironmentVariableA("VELMORA_AT_DPI", nullptr, 0) != 0; }

DWORD RunThisTestAtDpi(DWORD dpi) {
  HKEY desktop = nullptr;
  RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop);
  RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                 sizeof dpi);
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string command = std::string("\"") + program +
                        "\" --gtest_filter=" + test->test_suite_name() + "." + test->name();
  SetEnvironmentVariableA("VELMORA_AT_DPI", "1");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  DWORD exitCode = 99;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &child)) {
    WaitForSingleObject(child.hProcess, 60000);
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  SetEnvironmentVariableA("VELMORA_AT_DPI", nullptr);
  RegDeleteValueA(desktop, "LogPixels");  // the next programs start at the session's DPI again
  RegCloseKey(desktop);
  return exitCode;
}

VelmoraProcess::VelmoraProcess() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  char commandLine[] = "\"" VELMORA_EXE "\"";
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return;
  window = Poll<HWND>([this] {
    HWND found = nullptr;
    DWORD owner = 0;
    while ((found = FindWindowExA(nullptr, found, "VelmoraForm1", "Velmora")) != nullptr) {
      GetWindowThreadProcessId(found, &owner);
      if (owner == process.dwProcessId && IsWindowVisible(found)) return found;
    }
    return HWND{};
  });
}

VelmoraProcess::~VelmoraProcess() {
  if (process.hProcess == nullptr) return;
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace velmora::testing
