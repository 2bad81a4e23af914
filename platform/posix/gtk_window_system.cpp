#include "platform/posix/gtk_window_system.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/file_to_open.h"
#include "platform/posix/gtk_controls.h"

namespace velmora::posix {

namespace {

using platform::WindowMetric;

// X11 carries positions and sizes as 16-bit numbers.
constexpr int kLargestCoordinate = 32767;
// How long ProcessPendingEvents waits at most for GTK to paint a change (a frame is 16 ms).
constexpr guint kLongestPaintWaitMs = 250;

std::size_t IndexOf(ControlId control) { return static_cast<std::size_t>(control); }

GdkRectangle PixelBox(const DisplayScale& scale, const ControlDesign& control) {
  return {scale.ToPixels(control.left), scale.ToPixels(control.top), scale.ToPixels(control.width),
          scale.ToPixels(control.height)};
}

}  // namespace

int DisplayScale::ToPixels(float twips) const {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}
float DisplayScale::ToTwips(int pixels) const { return pixels * kTwipsPerInch / dpi; }

DisplayScale DisplayScale::OfDisplay() {
  // GTK's resolution is the desktop's Xft.dpi (XSETTINGS) divided by GDK's scale and multiplied
  // by GDK_DPI_SCALE: the density its text is laid out at, so the design keeps step with the font.
  const double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  return DisplayScale{dpi >= 24 && dpi <= 1200 ? static_cast<float>(dpi) : 96.0f};
}

std::string LabelText(std::string_view caption) {
  caption = caption.substr(0, caption.find('\0'));
  std::string text;
  text.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '\r') {
      text += caption[i];
      continue;
    }
    text += '\n';
    if (i + 1 < caption.size() && caption[i + 1] == '\n') ++i;
  }
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  text = valid;
  g_free(valid);
  return text;
}

bool GtkWindowSystem::OpenDisplay() {
  if (gtk_init_check(nullptr, nullptr) == FALSE) return false;
  gdk_set_program_class(kWindowClass);  // after GTK's start, which sets its own
  return true;
}

GtkWindowSystem::GtkWindowSystem(const FormDesign& design) : scale_(DisplayScale::OfDisplay()) {
  ApplyFormColours(design.backColour);
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), kFormStyleClass);
  gtk_window_set_title(window(), LabelText(design.caption).c_str());
  // A single fixed border: the user does not resize it. The closing slide sizes it itself.
  gtk_window_set_resizable(window(), FALSE);
  SetWindowIcon(window());

  // The controls stand where the design puts them, and the window's size is the client area's
  // whatever they hold: a GtkLayout, unlike a GtkFixed, does not grow to a label's whole line.
  layout_ = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_size_request(layout_, scale_.ToPixels(design.clientWidth),
                              scale_.ToPixels(design.clientHeight));
  gtk_container_add(GTK_CONTAINER(window_), layout_);
  gtk_widget_show(layout_);

  // Added in tab order: GTK draws them in that order, and the focus chain follows it.
  for (std::size_t i = 0; i < tabOrder_.size(); ++i) tabOrder_[i] = design.controls[i].id;
  std::stable_sort(tabOrder_.begin(), tabOrder_.end(), [&](ControlId a, ControlId b) {
    return design.control(a).tabIndex < design.control(b).tabIndex;
  });
  GList* chain = nullptr;
  for (const ControlId id : tabOrder_) {
    AddControl(design.control(id));
    chain = g_list_append(chain, widget(id));
  }
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS  // still the way to give a container its tab order in GTK 3
      gtk_container_set_focus_chain(GTK_CONTAINER(layout_), chain);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_list_free(chain);

  // The status line is drawn in the part of Label1 that the notice leaves free.
  statusBox_ = PixelBox(scale_, design.control(ControlId::Label1));
  const ControlDesign& notice = design.control(ControlId::Label2);
  statusBox_.height = std::min(statusBox_.height, scale_.ToPixels(notice.top) - statusBox_.y);
  gtk_widget_set_size_request(widget(ControlId::Label1), statusBox_.width, statusBox_.height);

  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                     static_cast<GtkWindowSystem*>(self)->Close();
                     return TRUE;
                   }),
                   this);
}

GtkWindowSystem::~GtkWindowSystem() {
  if (dueSource_ != 0) g_source_remove(dueSource_);
  gtk_widget_destroy(window_);
}

void GtkWindowSystem::AddControl(const ControlDesign& control) {
  const GdkRectangle box = PixelBox(scale_, control);
  GtkWidget* added = nullptr;
  if (control.kind == ControlKind::PushButton) {
    added = gtk_button_new_with_label(LabelText(control.caption).c_str());
    g_signal_connect(added, "clicked", G_CALLBACK(+[](GtkWidget* button, gpointer self) {
                       static_cast<GtkWindowSystem*>(self)->OnClick(button);
                     }),
                     this);
  } else {
    added = MakeLabel(LabelText(control.caption), control.centred);
  }
  gtk_widget_set_size_request(added, box.width, box.height);
  gtk_layout_put(GTK_LAYOUT(layout_), added, box.x, box.y);
  gtk_widget_set_visible(added, control.visible);
  widgets_[IndexOf(control.id)] = added;
}

GtkWidget* GtkWindowSystem::widget(ControlId control) const {
  return widgets_.at(IndexOf(control));
}

void GtkWindowSystem::Show(platform::WindowEvents& events) {
  events_ = &events;
  gtk_widget_show(window_);
  FocusNextVisible(tabOrder_.back());
  paintDue_ = true;
  g_signal_connect(gtk_widget_get_frame_clock(window_), "after-paint",
                   G_CALLBACK(+[](GdkFrameClock*, gpointer self) {
                     static_cast<GtkWindowSystem*>(self)->paintDue_ = false;
                   }),
                   this);
}

int GtkWindowSystem::Run() {
  gtk_main();
  return 0;
}

void GtkWindowSystem::OnClick(GtkWidget* button) {
  const auto found = std::find(widgets_.begin(), widgets_.end(), button);
  if (found == widgets_.end()) return;
  // The handler runs from the event loop, not inside whatever clicked: an accessible action's
  // D-Bus call must have returned before the accessibility bridge can answer again, and the open
  // dialog that Get Mid File runs has to be read by the screen reader.
  const auto clicked = static_cast<ControlId>(found - widgets_.begin());
  Deliver([clicked](platform::WindowEvents& events) { events.Click(clicked); });
}

void GtkWindowSystem::Deliver(std::function<void(platform::WindowEvents&)> event) {
  if (events_ == nullptr) return;
  due_.push_back(std::move(event));
  if (dueSource_ == 0) dueSource_ = g_idle_add_full(G_PRIORITY_DEFAULT, DeliverNext, this, nullptr);
}

gboolean GtkWindowSystem::DeliverNext(gpointer self) {
  auto& window = *static_cast<GtkWindowSystem*>(self);
  const auto event = std::move(window.due_.front());
  window.due_.pop_front();
  // A later one waits for the next pass of the loop, which may be inside this handler.
  window.dueSource_ =
      window.due_.empty() ? 0 : g_idle_add_full(G_PRIORITY_DEFAULT, DeliverNext, self, nullptr);
  event(*window.events_);
  return G_SOURCE_REMOVE;
}

void GtkWindowSystem::Close() {
  if (events_ == nullptr) return;
  std::int16_t cancel = 0;
  events_->Unload(cancel);
  if (cancel != 0) return;
  gtk_widget_hide(window_);
  if (gtk_main_level() > 0) gtk_main_quit();
}

void GtkWindowSystem::Present() { gtk_window_present(window()); }

void GtkWindowSystem::AcceptFileDrops() {
  gtk_drag_dest_set(window_, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_dest_add_uri_targets(window_);
  g_signal_connect(window_, "drag-data-received",
                   G_CALLBACK(+[](GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data,
                                  guint, guint, gpointer self) {
                     gchar** uris = gtk_selection_data_get_uris(data);
                     if (uris != nullptr && uris[0] != nullptr) {
                       const std::string path = FileToOpenFromUri(uris[0]);
                       static_cast<GtkWindowSystem*>(self)->Deliver(
                           [path](platform::WindowEvents& events) { events.OpenFile(path); });
                     }
                     g_strfreev(uris);
                   }),
                   this);
}

void GtkWindowSystem::SetCaption(ControlId control, std::string_view text) {
  GtkWidget* shown = widget(control);
  if (GTK_IS_BUTTON(shown)) {
    gtk_button_set_label(GTK_BUTTON(shown), LabelText(text).c_str());
  } else {
    gtk_label_set_text(GTK_LABEL(shown), LabelText(text).c_str());
    int width = 0, height = 0;
    gtk_widget_get_size_request(shown, &width, &height);
    FitText(GTK_LABEL(shown), width, height);
  }
  paintDue_ = OnScreen();
}

void GtkWindowSystem::SetVisible(ControlId control, bool visible) {
  GtkWidget* changed = widget(control);
  const bool hadFocus = gtk_widget_is_focus(changed);
  gtk_widget_set_visible(changed, visible);
  // Hiding the focused button leaves the keyboard with nothing to press: move on in tab order,
  // as soon as there is a visible control to move to.
  if (hadFocus && !visible) focusLeft_ = control;
  if (gtk_widget_get_realized(window_) && gtk_window_get_focus(window()) == nullptr)
    FocusNextVisible(focusLeft_);
  paintDue_ = OnScreen();
}

void GtkWindowSystem::FocusNextVisible(ControlId from) {
  const auto start = std::find(tabOrder_.begin(), tabOrder_.end(), from) - tabOrder_.begin();
  for (std::size_t step = 1; step <= tabOrder_.size(); ++step) {
    GtkWidget* next = widget(tabOrder_[(start + step) % tabOrder_.size()]);
    if (gtk_widget_get_visible(next) && gtk_widget_get_can_focus(next)) {
      gtk_widget_grab_focus(next);
      return;
    }
  }
}

bool GtkWindowSystem::OnScreen() const {
  GdkWindow* surface = gtk_widget_get_window(window_);
  return surface != nullptr && gdk_window_is_viewable(surface) &&
         (gdk_window_get_state(surface) & GDK_WINDOW_STATE_ICONIFIED) == 0;
}

bool GtkWindowSystem::Movable() const {
  // The desktop holds a minimised, maximised or full-screen window where it is.
  const auto held = GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN;
  return OnScreen() && (gdk_window_get_state(gtk_widget_get_window(window_)) & held) == 0;
}

std::optional<GtkWindowSystem::Geometry> GtkWindowSystem::CurrentGeometry() const {
  if (placed_) return placed_;
  // Wayland lets no program know or choose where its window stands.
  GdkWindow* surface = gtk_widget_get_window(window_);
  if (surface == nullptr || !GDK_IS_X11_DISPLAY(gdk_window_get_display(surface)) ||
      !gtk_widget_get_mapped(window_))
    return std::nullopt;
  // Where the frame stands (a window is placed by its frame) and how big its client area is.
  Geometry geometry{};
  gdk_window_get_root_origin(surface, &geometry.x, &geometry.y);
  gtk_window_get_size(window(), &geometry.width, &geometry.height);
  return geometry;
}

std::optional<float> GtkWindowSystem::GetWindowMetric(WindowMetric metric) {
  const auto geometry = CurrentGeometry();
  if (!geometry) return std::nullopt;
  switch (metric) {
    case WindowMetric::Left: return scale_.ToTwips(geometry->x);
    case WindowMetric::Top: return scale_.ToTwips(geometry->y);
    case WindowMetric::Width: return scale_.ToTwips(geometry->width);
    case WindowMetric::Height: return scale_.ToTwips(geometry->height);
  }
  return std::nullopt;
}

bool GtkWindowSystem::SetWindowMetric(WindowMetric metric, float twips) {
  // Far beyond any screen at any density; keeps the conversion to pixels inside an int.
  if (!Movable() || !std::isfinite(twips) || std::abs(twips) > 1.0e7f) return false;
  auto geometry = CurrentGeometry();
  if (!geometry) return false;
  const int pixels = scale_.ToPixels(twips);
  switch (metric) {
    case WindowMetric::Left: geometry->x = pixels; break;
    case WindowMetric::Top: geometry->y = pixels; break;
    case WindowMetric::Width: geometry->width = pixels; break;
    case WindowMetric::Height: geometry->height = pixels; break;
  }
  const int deviceScale = gtk_widget_get_scale_factor(window_);
  const auto outside = [&](int value) {
    return std::abs(value) * deviceScale > kLargestCoordinate;
  };
  if (geometry->width < 1 || geometry->height < 1 || outside(geometry->x) || outside(geometry->y) ||
      outside(geometry->width) || outside(geometry->height))
    return false;
  if (!placed_) {
    // The window keeps its design's size as its smallest while the user has it; closing, it may
    // shrink.
    GdkGeometry smallest{};
    smallest.min_width = smallest.min_height = 1;
    gdk_window_set_geometry_hints(gtk_widget_get_window(window_), &smallest, GDK_HINT_MIN_SIZE);
  }
  placed_ = geometry;
  placedOnScreen_ = false;
  return true;
}

bool GtkWindowSystem::UpdateScreen() {
  if (!Movable()) return false;
  if (placed_ && !placedOnScreen_) {
    // One move and resize for the pass, around GTK's own layout: the program ends after the
    // slide, and GTK would wait for the display's answer to each step.
    gdk_window_move_resize(gtk_widget_get_window(window_), placed_->x, placed_->y, placed_->width,
                           placed_->height);
    placedOnScreen_ = true;
  }
  gdk_display_sync(gtk_widget_get_display(window_));
  return true;
}

std::optional<float> GtkWindowSystem::ScreenWidth() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return std::nullopt;
  GdkRectangle area{};
  gdk_monitor_get_geometry(monitor, &area);
  if (area.width <= 0) return std::nullopt;
  return scale_.ToTwips(area.width);
}

// Linux has no module instances; the open dialog does not look at this.
platform::InstanceHandle GtkWindowSystem::ModuleInstance() { return 0; }

void GtkWindowSystem::ProcessPendingEvents() {
  // The display's answers to everything sent so far are waiting too once it has been synced.
  GdkDisplay* display = gtk_widget_get_display(window_);
  gdk_display_sync(display);
  // A change reaches the screen at GTK's next frame, a few milliseconds away at most.
  bool late = false;
  const guint timer = g_timeout_add(
      kLongestPaintWaitMs,
      +[](gpointer flag) -> gboolean { return *static_cast<bool*>(flag) = true, FALSE; }, &late);
  while (gtk_events_pending() || (paintDue_ && !late && OnScreen())) gtk_main_iteration_do(TRUE);
  if (!late) g_source_remove(timer);
  gdk_display_sync(display);
}

void GtkWindowSystem::EndProgram() {
  gdk_display_flush(gdk_display_get_default());
  std::fflush(nullptr);
  std::_Exit(0);
}

}  // namespace velmora::posix
