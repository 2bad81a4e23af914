#include "platform/posix/gtk_controls.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "resources/icon.h"

namespace velmora::posix {

namespace {
// The smallest share of the window's font size a label's text is drawn at.
constexpr double kSmallestScale = 0.5;
constexpr double kScaleStep = 0.05;
}  // namespace

void ApplyFormColours(std::uint32_t backColour) {
  static GtkCssProvider* provider = nullptr;
  if (provider != nullptr) return;
  char css[512];
  std::snprintf(css, sizeof css,
                ".%1$s, .%1$s * { background-color: #%2$02X%3$02X%4$02X; background-image: none;"
                " color: #000000; box-shadow: none; text-shadow: none; }"
                " .%1$s button { min-height: 0; min-width: 0; padding: 0 4px; }",
                kFormStyleClass, backColour & 0xFF, (backColour >> 8) & 0xFF,
                (backColour >> 16) & 0xFF);
  provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void SetWindowIcon(GtkWindow* window) {
  using namespace velmora::resources;
  GdkPixbuf* icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kIconSize, kIconSize);
  guchar* row = gdk_pixbuf_get_pixels(icon);
  for (int y = 0; y < kIconSize; ++y, row += gdk_pixbuf_get_rowstride(icon)) {
    for (int x = 0; x < kIconSize; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * kIconSize + x;
      const std::uint32_t rgb = kIconPalette.at(kIconPixels[at]);
      guchar* pixel = row + std::ptrdiff_t{4} * x;
      pixel[0] = static_cast<guchar>(rgb >> 16), pixel[1] = static_cast<guchar>(rgb >> 8);
      pixel[2] = static_cast<guchar>(rgb), pixel[3] = kIconOpaque[at] ? 255 : 0;
    }
  }
  gtk_window_set_icon(window, icon);
  g_object_unref(icon);
}

GtkWidget* MakeLabel(const std::string& text, bool centred) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_justify(GTK_LABEL(label), centred ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
  gtk_label_set_xalign(GTK_LABEL(label), centred ? 0.5f : 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), centred ? 0.5f : 0.0f);
  return label;
}

void FitText(GtkLabel* label, int width, int height) {
  PangoLayout* layout =
      gtk_widget_create_pango_layout(GTK_WIDGET(label), gtk_label_get_text(label));
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  double scale = 1.0;
  PangoAttrList* attributes = nullptr;
  int laidWidth = 0, laidHeight = 0;
  for (;; scale -= kScaleStep) {
    if (attributes != nullptr) pango_attr_list_unref(attributes);
    attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_scale_new(scale));
    pango_layout_set_attributes(layout, attributes);
    pango_layout_get_pixel_size(layout, &laidWidth, &laidHeight);
    if ((laidWidth <= width && laidHeight <= height) || scale - kScaleStep < kSmallestScale) break;
  }
  const bool fits = laidWidth <= width && laidHeight <= height;
  const int lines = pango_layout_get_line_count(layout);
  gtk_label_set_attributes(label, scale < 1.0 ? attributes : nullptr);
  gtk_label_set_ellipsize(label, fits ? PANGO_ELLIPSIZE_NONE : PANGO_ELLIPSIZE_END);
  gtk_label_set_lines(label, fits ? -1 : std::max(1, height * lines / std::max(1, laidHeight)));
  pango_attr_list_unref(attributes);
  g_object_unref(layout);
}

}  // namespace velmora::posix
