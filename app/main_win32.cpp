// Velmora.exe: the window system shows Form1 and delivers its events; nothing else runs first.
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
  window.Show(form, showCommand);
  return window.RunMessageLoop();
}
