#pragma once
// The program's window on the Linux desktop: a GTK 3 window built from the stored design, on X11
// where the desktop offers it and on Wayland otherwise, with positions and sizes converted between
// twips and the display's pixels.

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "main_window/form_design.h"
#include "platform/window_system.h"

namespace velmora::posix {

// The identity the desktop entry carries: the Wayland app id, and the X11 window class.
inline constexpr char kApplicationId[] = "org.velmora.Velmora";
inline constexpr char kWindowClass[] = "Velmora";

// Pixels per inch of GTK's own pixels (the desktop's Xft.dpi over GDK's scale); 1440 twips an inch.
struct DisplayScale {
  float dpi = 96.0f;

  int ToPixels(float twips) const;
  float ToTwips(int pixels) const;

  // The density GTK lays text out at on the default screen (96 when the desktop sets none).
  static DisplayScale OfDisplay();
};

// A caption as GTK shows it literally: cut at the first NUL, CR LF made a line break, and bytes
// that are not UTF-8 shown as replacement characters.
std::string LabelText(std::string_view caption);

class GtkWindowSystem : public platform::WindowSystem {
 public:
  // Connects GTK to the desktop, on the backends the program allowed (main). False when none can
  // be reached.
  static bool OpenDisplay();

  // Builds the window, hidden, at the display's density.
  explicit GtkWindowSystem(const FormDesign& design = kForm1Design);
  ~GtkWindowSystem() override;
  GtkWindowSystem(const GtkWindowSystem&) = delete;
  GtkWindowSystem& operator=(const GtkWindowSystem&) = delete;

  // Shows the window where the desktop puts it; clicks and the caption bar's close button go to
  // events.
  void Show(platform::WindowEvents& events);
  // Asks the program to close, as the close button does (main sends SIGTERM from the session).
  void Close();
  // Runs the event loop until the window is closed; the process's exit code.
  int Run();
  // Hands `event` to the window's events from the event loop, after the clicks and events before
  // it: the caller (a click's signal, a D-Bus call) returns first.
  void Deliver(std::function<void(platform::WindowEvents&)> event);
  // Brings the window to the front, as the desktop allows.
  void Present();
  // A file dropped on the window (text/uri-list, the first of a list) is opened; other drops are
  // refused.
  void AcceptFileDrops();

  void SetCaption(ControlId control, std::string_view text) override;
  void SetVisible(ControlId control, bool visible) override;
  std::optional<float> GetWindowMetric(platform::WindowMetric metric) override;
  bool SetWindowMetric(platform::WindowMetric metric, float twips) override;
  std::optional<float> ScreenWidth() override;
  platform::InstanceHandle ModuleInstance() override;
  bool UpdateScreen() override;
  void ProcessPendingEvents() override;
  [[noreturn]] void EndProgram() override;

  GtkWindow* window() const { return GTK_WINDOW(window_); }
  GtkWidget* widget(ControlId control) const;
  const DisplayScale& scale() const { return scale_; }
  // Label1's box above the notice, where the status line is drawn; pixels in the client area.
  GdkRectangle StatusBox() const { return statusBox_; }

 private:
  // The window's place and size in GTK's pixels: left and top of its frame, its client area.
  struct Geometry {
    int x, y, width, height;
  };

  void AddControl(const ControlDesign& control);
  void FocusNextVisible(ControlId from);
  bool OnScreen() const;
  bool Movable() const;
  std::optional<Geometry> CurrentGeometry() const;
  void OnClick(GtkWidget* button);
  static gboolean DeliverNext(gpointer self);

  DisplayScale scale_;
  GtkWidget* window_ = nullptr;
  GtkWidget* layout_ = nullptr;
  std::array<GtkWidget*, 5> widgets_{};  // by ControlId; owned by the window
  std::array<ControlId, 5> tabOrder_{};
  GdkRectangle statusBox_{};
  platform::WindowEvents* events_ = nullptr;
  std::deque<std::function<void(platform::WindowEvents&)>> due_;  // clicks and events not run yet
  guint dueSource_ = 0;
  ControlId focusLeft_ = ControlId::CmdGetMidFile;  // the focused control last hidden
  // Set by the closing slide, put on the screen by UpdateScreen, and read back until then.
  std::optional<Geometry> placed_;
  bool placedOnScreen_ = true;
  // A change the screen does not show yet; cleared when GTK has painted a frame.
  bool paintDue_ = false;
};

}  // namespace velmora::posix
