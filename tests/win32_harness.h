#pragma once
// The Windows platform's tests under Wine: Form1 on the real window, the open dialog answered from
// a second thread, the screen read back, test files, and Velmora.exe started as a process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main_window/form1.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_mci.h"
#include "platform/win32/win32_open_file_dialog.h"
#include "platform/win32/win32_window_system.h"

namespace velmora::testing {

// Form1 on the real window system, shown and painted.
struct RealForm {
  win32::Win32WindowSystem window{GetModuleHandleA(nullptr)};
  win32::Win32OpenFileDialog dialog;
  win32::Win32Mci mci;
  win32::Win32FileSystem files;
  win32::Win32Clock clock;
  Form1 form{{window, dialog, mci, files, clock}};

  RealForm();
  ~RealForm() { mci.SendString("close all"); }
  HWND Control(ControlId id) const { return window.control(id); }
  bool Shows(ControlId id) const { return IsWindowVisible(Control(id)) != FALSE; }
  std::string Caption(ControlId id) const;
  void Click(ControlId id);  // a real click: the button presses, releases and notifies
};

// What a helper thread saw of the dialog titled "Open File" after Get Mid File was clicked; it
// typed the path into the dialog's file-name box and confirmed, or cancelled for an empty path.
struct DialogSeen {
  bool found = false, ownerless = false, mainWindowEnabled = false;
  std::string firstFileType;
};
DialogSeen ChooseInDialog(RealForm& form, const std::string& path);

// The client area of a window as the screen shows it, 0x00BBGGRR row by row.
struct Screenshot {
  int w = 0, h = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y * w + x)]; }
};
Screenshot Capture(HWND window);

// A folder of its own holding the demo tune under a name with blanks and letters outside
// Windows-1252, and a file that is not MIDI.
struct TestFiles {
  std::string folder, tune, notMidi;
  TestFiles();
  ~TestFiles();
};

// Runs this test program again, for the one test running now, with the prefix's display at the
// given DPI (Wine reads it when a program starts); its exit code.
DWORD RunThisTestAtDpi(DWORD dpi);
bool IsARunAtAnotherDpi();

// Velmora.exe started, and its visible main window once it is up.
struct VelmoraProcess {
  PROCESS_INFORMATION process{};
  HWND window = nullptr;
  VelmoraProcess();
  ~VelmoraProcess();
};

}  // namespace velmora::testing
