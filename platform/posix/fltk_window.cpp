#include "platform/posix/fltk_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "resources/icon.h"

namespace velmora::posix {

namespace {

using platform::WindowMetric;

// The X class the desktop matches the window to its entry and icon by (resources/velmora.desktop).
constexpr char kWindowClass[] = "velmora";

// The X protocol carries positions and sizes as 16-bit numbers.
constexpr int kLargestCoordinate = 32767;

Fl_Color ToFlColour(std::uint32_t bgr) {
  return fl_rgb_color(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::size_t IndexOf(ControlId control) { return static_cast<std::size_t>(control); }

// A push button as on the Windows desktop: an '&' in its caption is text, not a keyboard shortcut,
// and Enter clicks the focused button just as Space does.
class PushButton : public Fl_Button {
 public:
  PushButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) { clear_flag(SHORTCUT_LABEL); }

  int handle(int event) override {
    const bool enter = Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter;
    if (event == FL_KEYBOARD && enter && Fl::focus() == this) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

// A label as a static control under a sibling that lies over its foot: it draws only in the part
// of its rectangle the sibling leaves free, its text centred there and made smaller when it would
// not fit, so none of it is hidden and nothing of it is drawn over the sibling.
class Label : public Fl_Box {
 public:
  Label(int x, int y, int w, int h) : Fl_Box(FL_FLAT_BOX, x, y, w, h, nullptr), freeHeight(h) {}
  int freeHeight;

  void draw() override {
    const int height = std::min(h(), freeHeight);
    draw_box(box(), x(), y(), w(), height, color());
    const Fl_Fontsize wanted = labelsize();
    for (Fl_Fontsize size = wanted; size > kSmallestFont; --size) {
      int width = (align() & FL_ALIGN_WRAP) ? w() : 0, textHeight = 0;
      fl_font(labelfont(), size);
      fl_measure(label(), width, textHeight);
      labelsize(size);
      if (width <= w() && textHeight <= height) break;
    }
    fl_push_clip(x(), y(), w(), height);
    draw_label(x(), y(), w(), height, align());
    fl_pop_clip();
    labelsize(wanted);
  }

 private:
  static constexpr Fl_Fontsize kSmallestFont = 8;
};

}  // namespace

int DisplayScale::ToPixelsX(float twips) const {
  return static_cast<int>(std::lround(twips * dpiX / kTwipsPerInch));
}
int DisplayScale::ToPixelsY(float twips) const {
  return static_cast<int>(std::lround(twips * dpiY / kTwipsPerInch));
}
float DisplayScale::ToTwipsX(int pixels) const { return pixels * kTwipsPerInch / dpiX; }
float DisplayScale::ToTwipsY(int pixels) const { return pixels * kTwipsPerInch / dpiY; }

DisplayScale DisplayScale::OfDisplay() {
  fl_open_display();
  float h = 0, v = 0;
  Fl::screen_dpi(h, v, 0);
  // X works the density out from the screen's size in whole millimetres, so the two axes differ
  // by that rounding (96 x 95.92 on a 1920 x 1080 screen at 96 DPI). A desktop has one density:
  // the across figure to the whole dot. A display that reports no size keeps 96.
  const float dpi = (h >= 24 && h <= 1200) ? std::round(h) : 96.0f;
  return DisplayScale{dpi, dpi};
}

std::string LabelText(std::string_view caption) {
  caption = caption.substr(0, caption.find('\0'));
  std::string text;
  text.reserve(caption.size() + 8);
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char c = caption[i];
    if (c == '\r') {
      text += '\n';
      if (i + 1 < caption.size() && caption[i + 1] == '\n') ++i;
      continue;
    }
    if (c == '@') text += '@';  // "@@" is FLTK's way of writing one '@'
    text += c;
  }
  return text;
}

FltkWindow::FltkWindow(const FormDesign& design) : FltkWindow(design, DisplayScale::OfDisplay()) {}

FltkWindow::FltkWindow(const FormDesign& design, DisplayScale scale) : scale_(scale) {
  fl_open_display();
  window_ = std::make_unique<Fl_Double_Window>(scale_.ToPixelsX(design.clientWidth),
                                               scale_.ToPixelsY(design.clientHeight));
  window_->copy_label(LabelText(design.caption).c_str());
  window_->color(ToFlColour(design.backColour));
  // Not resizable by the user; FLTK then keeps the size hints fixed at whatever size the program
  // sets, and leaves the controls where they are when the window shrinks.
  window_->resizable(nullptr);
  window_->callback(CloseRequested, this);

  // FLTK moves the focus in the order the children were added: add them in tab order.
  std::vector<const ControlDesign*> inTabOrder;
  for (const auto& control : design.controls) inTabOrder.push_back(&control);
  std::stable_sort(inTabOrder.begin(), inTabOrder.end(),
                   [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
  for (const auto* control : inTabOrder) AddControl(*control, design.backColour);
  window_->end();
  // Children are drawn in order: a label added later lies over the foot of an earlier one.
  for (int i = 0; i < window_->children(); ++i) {
    auto* label = dynamic_cast<Label*>(window_->child(i));
    for (int j = i + 1; label != nullptr && j < window_->children(); ++j) {
      const Fl_Widget& above = *window_->child(j);
      const bool across = above.x() < label->x() + label->w() && label->x() < above.x() + above.w();
      if (across && above.y() > label->y())
        label->freeHeight = std::min(label->freeHeight, above.y() - label->y());
    }
  }
  window_->xclass(kWindowClass);
  SetIcon();
}

FltkWindow::~FltkWindow() = default;

void FltkWindow::AddControl(const ControlDesign& control, std::uint32_t backColour) {
  const int x = scale_.ToPixelsX(control.left);
  const int y = scale_.ToPixelsY(control.top);
  const int w = scale_.ToPixelsX(control.width);
  const int h = scale_.ToPixelsY(control.height);
  Fl_Widget* widget = nullptr;
  if (control.kind == ControlKind::PushButton) {
    widget = new PushButton(x, y, w, h);
    widget->callback(ButtonClicked, this);
  } else {
    widget = new Label(x, y, w, h);
  }
  widget->color(ToFlColour(backColour));
  // The default font keeps its physical size on a denser screen.
  widget->labelsize(static_cast<int>(std::lround(FL_NORMAL_SIZE * scale_.dpiY / 96.0f)));
  widget->align(control.centred ? (FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP)
                                : (FL_ALIGN_LEFT | FL_ALIGN_INSIDE));
  widget->copy_label(LabelText(control.caption).c_str());
  if (!control.visible) widget->hide();
  widgets_[IndexOf(control.id)] = widget;
}

void FltkWindow::SetIcon() {
  using namespace velmora::resources;
  std::vector<uchar> rgba;
  rgba.reserve(kIconPixels.size() * 4);
  for (std::size_t i = 0; i < kIconPixels.size(); ++i) {
    const std::uint32_t rgb = kIconPalette.at(kIconPixels[i]);
    rgba.push_back(static_cast<uchar>(rgb >> 16));
    rgba.push_back(static_cast<uchar>(rgb >> 8));
    rgba.push_back(static_cast<uchar>(rgb));
    rgba.push_back(kIconOpaque[i] ? 255 : 0);
  }
  const Fl_RGB_Image icon(rgba.data(), kIconSize, kIconSize, 4);
  window_->icon(&icon);  // the window keeps its own copy
}

Fl_Widget& FltkWindow::widget(ControlId control) { return *widgets_.at(IndexOf(control)); }

void FltkWindow::Show(platform::WindowEvents& events) {
  events_ = &events;
  window_->show();
}

int FltkWindow::Run() { return Fl::run(); }

void FltkWindow::ButtonClicked(Fl_Widget* button, void* self) {
  auto* window = static_cast<FltkWindow*>(self);
  const auto found = std::find(window->widgets_.begin(), window->widgets_.end(), button);
  if (found == window->widgets_.end() || window->events_ == nullptr) return;
  window->events_->Click(static_cast<ControlId>(found - window->widgets_.begin()));
}

void FltkWindow::CloseRequested(Fl_Widget*, void* self) {
  static_cast<FltkWindow*>(self)->OnClose();
}

void FltkWindow::OnClose() {
  // FLTK closes a window on Escape too; a Windows window does not, so only the close request
  // (the caption bar's close button, WM_DELETE_WINDOW) unloads the form.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  std::int16_t cancel = 0;
  if (events_ != nullptr) events_->Unload(cancel);
  if (cancel == 0) window_->hide();
}

void FltkWindow::SetCaption(ControlId control, std::string_view text) {
  widget(control).copy_label(LabelText(text).c_str());
  widget(control).redraw();
}

void FltkWindow::SetVisible(ControlId control, bool visible) {
  Fl_Widget& shownOrHidden = widget(control);
  if (visible) {
    shownOrHidden.show();
  } else {
    shownOrHidden.hide();
  }
  // Hiding the focused button leaves nothing focused and the keyboard dead: move on in tab order.
  if (window_->shown() && Fl::focus() == nullptr) FocusFirstControl();
}

void FltkWindow::FocusFirstControl() {
  for (int i = 0; i < window_->children(); ++i) {
    if (window_->child(i)->take_focus()) return;
  }
}

std::optional<float> FltkWindow::GetWindowMetric(WindowMetric metric) {
  // On X11 the window manager owns the frame: left, top, width and height are the client area's.
  if (!window_->shown()) return std::nullopt;
  switch (metric) {
    case WindowMetric::Left: return scale_.ToTwipsX(window_->x());
    case WindowMetric::Top: return scale_.ToTwipsY(window_->y());
    case WindowMetric::Width: return scale_.ToTwipsX(window_->w());
    case WindowMetric::Height: return scale_.ToTwipsY(window_->h());
  }
  return std::nullopt;
}

bool FltkWindow::SetWindowMetric(WindowMetric metric, float twips) {
  // Not shown, or shown but unmapped (minimised): nothing to move.
  if (!window_->shown() || !window_->visible()) return false;
  // Far beyond any screen at any density; keeps the conversion to pixels inside an int.
  if (!std::isfinite(twips) || std::abs(twips) > 1.0e7f) return false;
  int x = window_->x(), y = window_->y(), w = window_->w(), h = window_->h();
  switch (metric) {
    case WindowMetric::Left: x = scale_.ToPixelsX(twips); break;
    case WindowMetric::Top: y = scale_.ToPixelsY(twips); break;
    case WindowMetric::Width: w = scale_.ToPixelsX(twips); break;
    case WindowMetric::Height: h = scale_.ToPixelsY(twips); break;
  }
  if (w < 1 || h < 1) return false;
  const auto outside = [](int value) { return std::abs(value) > kLargestCoordinate; };
  if (outside(x) || outside(y) || outside(w) || outside(h)) return false;
  window_->resize(x, y, w, h);
  return true;
}

std::optional<float> FltkWindow::ScreenWidth() {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  if (w <= 0) return std::nullopt;
  return scale_.ToTwipsX(w);
}

// Linux has no module instances; the open dialog does not look at this.
platform::InstanceHandle FltkWindow::ModuleInstance() { return 0; }

void FltkWindow::ProcessPendingEvents() {
  // Let the server answer everything sent so far, so the events it caused are waiting too.
  Fl::flush();
  if (fl_display != nullptr) XSync(fl_display, False);
  Fl::check();
}

bool FltkWindow::UpdateScreen() {
  Fl::flush();
  if (fl_display != nullptr) XSync(fl_display, False);
  return true;  // every write FLTK cannot take was refused when it was made
}

void FltkWindow::EndProgram() {
  if (fl_display != nullptr) XFlush(fl_display);
  std::fflush(nullptr);
  std::_Exit(0);
}

}  // namespace velmora::posix
