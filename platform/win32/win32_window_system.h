#pragma once
// The program's window on user32/gdi32: a top-level window with a single fixed border and a caption
// bar, BUTTON and STATIC children at their twips geometry, light grey with black ink everywhere
// (buttons included, so they are drawn here) unless the user chose a contrast theme, the system's
// message font, the design's tab order, dialog-style keyboard navigation and a focus that survives
// deactivation.

#include <array>
#include <string>

#include "platform/win32/twips.h"
#include "platform/win32/windows_api.h"
#include "platform/window_system.h"

namespace velmora::win32 {

// The icon's id in resources/velmora.rc.
inline constexpr WORD kIconResourceId = 1;

// A full path as the "A" functions take it in this process's code page (the manifest's UTF-8);
// where that code page cannot spell it, the path's short form.
std::string ToProcessCodePage(const std::wstring& path);

class Win32WindowSystem : public platform::WindowSystem {
 public:
  explicit Win32WindowSystem(HINSTANCE instance);
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  // Creates the window from the stored design and shows it; from then on its events go to events.
  // False when the window system refused the window (GetLastError says why).
  bool Show(platform::WindowEvents& events, int showCommand);
  // The event loop; returns the exit code once the window is gone.
  int RunMessageLoop();

  HWND window() const { return window_; }
  HWND control(ControlId id) const { return controls_.at(static_cast<std::size_t>(id)); }
  const TwipsScale& scale() const { return scale_; }

  // platform::WindowSystem
  void SetCaption(ControlId control, std::string_view text) override;
  void SetVisible(ControlId control, bool visible) override;
  std::optional<float> GetWindowMetric(platform::WindowMetric metric) override;
  bool SetWindowMetric(platform::WindowMetric metric, float twips) override;
  std::optional<float> ScreenWidth() override;
  platform::InstanceHandle ModuleInstance() override;
  bool UpdateScreen() override;
  void ProcessPendingEvents() override;
  [[noreturn]] void EndProgram() override;

 protected:
  // Whether the user chose a contrast theme (SPI_GETHIGHCONTRAST).
  virtual bool HighContrast() const;

 private:
  // What the window paints with: the design's grey and black, or the contrast theme's colours.
  struct Palette {
    COLORREF back, labelInk, face, buttonInk;
  };
  void ApplyColours();
  void RestoreFocus();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Dispatch(MSG& message);
  void DrawButton(const DRAWITEMSTRUCT& item) const;
  void OpenDropped(HDROP drop);
  bool MediaCommand(int command);
  void ClickFocusedButton();
  bool Frame(RECT& frame) const;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::array<HWND, 5> controls_{};
  bool registered_ = false;
  Palette palette_{};
  HBRUSH backBrush_ = nullptr, faceBrush_ = nullptr;
  HFONT font_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was deactivated
  TwipsScale scale_;
  std::optional<RECT> moved_;  // where the window goes at the next UpdateScreen
  platform::WindowEvents* events_ = nullptr;
};

}  // namespace velmora::win32
