// Velmora.exe: the window system shows Form1 and delivers its events; a file named on the command
// line is opened as one chosen in the dialog.
#include <cstring>

#include "main_window/form1.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_mci.h"
#include "platform/win32/win32_open_file_dialog.h"
#include "platform/win32/win32_window_system.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
  velmora::win32::Win32WindowSystem window(instance);
  velmora::win32::Win32OpenFileDialog dialog;
  velmora::win32::Win32Mci mci;
  velmora::win32::Win32FileSystem files;
  velmora::win32::Win32Clock clock;
  velmora::Form1 form({window, dialog, mci, files, clock});
  if (!window.Show(form, showCommand)) {
    char text[512] = "Velmora could not open its window: ";
    const std::size_t told = std::strlen(text);
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   GetLastError(), 0, text + told, static_cast<DWORD>(sizeof text - told), nullptr);
    MessageBoxA(nullptr, text, "Velmora", MB_OK | MB_ICONERROR);
    return 1;
  }
  // "Open with" and the command line: the first argument, read in UTF-16 whatever the code page.
  int count = 0;
  if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
    if (count > 1 && arguments[1][0] != L'\0') {
      std::wstring full(MAX_PATH, L'\0');
      full.resize(GetFullPathNameW(arguments[1], MAX_PATH, full.data(), nullptr));
      form.OpenFile(velmora::win32::ToProcessCodePage(full.empty() ? arguments[1] : full));
    }
    LocalFree(arguments);
  }
  return window.RunMessageLoop();
}
