#pragma once
// The program's window on the Linux desktop: an FLTK window on X11 built from the stored design,
// with positions and sizes converted between twips and the display's pixels.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "main_window/form_design.h"
#include "platform/window_system.h"

class Fl_Widget;
class Fl_Window;

namespace velmora::posix {

// Pixels per inch across and down; 1440 twips make an inch.
struct DisplayScale {
  float dpiX = 96.0f;
  float dpiY = 96.0f;

  int ToPixelsX(float twips) const;
  int ToPixelsY(float twips) const;
  float ToTwipsX(int pixels) const;
  float ToTwipsY(int pixels) const;

  // What the display reports for its first screen (96 when it reports nothing usable).
  static DisplayScale OfDisplay();
};

// A caption as FLTK must be given it to show the text literally: cut at the first NUL, CR LF made
// a line break, and '@' doubled so that FLTK draws no symbol.
std::string LabelText(std::string_view caption);

class FltkWindow : public platform::WindowSystem {
 public:
  // Opens the display and builds the window, hidden, at the display's own scale.
  explicit FltkWindow(const FormDesign& design = kForm1Design);
  FltkWindow(const FormDesign& design, DisplayScale scale);
  ~FltkWindow() override;
  FltkWindow(const FltkWindow&) = delete;
  FltkWindow& operator=(const FltkWindow&) = delete;

  // Shows the window where the window manager puts it; clicks and the close request go to events.
  void Show(platform::WindowEvents& events);
  // Runs the event loop until the window is closed; the process's exit code.
  int Run();

  void SetCaption(ControlId control, std::string_view text) override;
  void SetVisible(ControlId control, bool visible) override;
  std::optional<float> GetWindowMetric(platform::WindowMetric metric) override;
  bool SetWindowMetric(platform::WindowMetric metric, float twips) override;
  std::optional<float> ScreenWidth() override;
  platform::InstanceHandle ModuleInstance() override;
  bool UpdateScreen() override;
  void ProcessPendingEvents() override;
  [[noreturn]] void EndProgram() override;

  Fl_Window& window() { return *window_; }
  Fl_Widget& widget(ControlId control);
  const DisplayScale& scale() const { return scale_; }

 private:
  void AddControl(const ControlDesign& control, std::uint32_t backColour);
  void SetIcon();
  void FocusFirstControl();
  void OnClose();

  static void ButtonClicked(Fl_Widget* button, void* self);
  static void CloseRequested(Fl_Widget* window, void* self);

  DisplayScale scale_;
  std::unique_ptr<Fl_Window> window_;
  std::array<Fl_Widget*, 5> widgets_{};  // by ControlId; owned by the window
  platform::WindowEvents* events_ = nullptr;
};

}  // namespace velmora::posix
