#pragma once
// Helpers for the tests of the real Windows platform under Wine: Form1 on the real window, the
// open dialog driven from a second thread, test files in a temporary folder.

#include <chrono>
#include <future>
#include <string>
#include <thread>

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

  RealForm() {
    window.Show(form, SW_SHOWNORMAL);
    window.ProcessPendingEvents();
  }
  ~RealForm() { mci.SendString("close all"); }

  HWND Control(ControlId id) const { return window.control(id); }
  bool Shows(ControlId id) const { return IsWindowVisible(Control(id)) != FALSE; }
  std::string Caption(ControlId id) const { return WindowText(Control(id)); }
  // A real click: the button presses and releases itself and notifies the window.
  void Click(ControlId id) {
    SendMessageA(Control(id), BM_CLICK, 0, 0);
    window.ProcessPendingEvents();
  }

  static std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
  }
};

// What the helper thread saw of the open dialog.
struct DialogSeen {
  bool found = false;
  HWND owner = nullptr;
  bool mainWindowEnabled = false;
  std::string fileTypes;  // the first entry of the file-type list
};

// Waits on its own thread for the dialog titled "Open File", notes what it shows, then types the
// path into its file-name box and confirms, or cancels when the path is empty.
class OpenDialogDriver {
 public:
  OpenDialogDriver(HWND mainWindow, std::string path)
      : seen_(std::async(std::launch::async, &Drive, mainWindow, std::move(path))) {}
  DialogSeen Finish() { return seen_.get(); }

 private:
  static HWND FindDialog() {
    for (int attempt = 0; attempt < 300; ++attempt) {
      if (HWND dialog = FindWindowA("#32770", "Open File")) return dialog;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
  }

  static DialogSeen Drive(HWND mainWindow, std::string path) {
    DialogSeen seen;
    HWND dialog = FindDialog();
    if (dialog == nullptr) return seen;
    seen.found = true;
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.mainWindowEnabled = IsWindowEnabled(mainWindow) != FALSE;
    char types[256] = {};
    const int kFileTypeList = 0x470;  // cmb1
    if (SendDlgItemMessageA(dialog, kFileTypeList, CB_GETLBTEXTLEN, 0, 0) < LRESULT{sizeof types}) {
      SendDlgItemMessageA(dialog, kFileTypeList, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(types));
    }
    seen.fileTypes = types;

    if (path.empty()) {
      SendMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
      return seen;
    }
    // The file-name box: a combo box in the Explorer-style dialog (cmb13), an edit box otherwise.
    HWND nameBox = GetDlgItem(dialog, 0x47c);
    if (nameBox == nullptr) nameBox = GetDlgItem(dialog, 0x480);
    SendMessageA(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return seen;
  }

  std::future<DialogSeen> seen_;
};

// A folder of its own under the temporary folder, holding the demo tune under three names (one in a
// folder whose name has a blank, one with letters outside Windows-1252, written while the code page
// is UTF-8) and a file that is not MIDI.
struct TestFiles {
  std::string folder;
  std::string tune;
  std::string tuneWithBlanks;
  std::string tuneNamedInUnicode;
  std::string notMidi;

  TestFiles();
  ~TestFiles();
};

}  // namespace velmora::testing
