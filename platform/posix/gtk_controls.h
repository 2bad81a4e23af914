#pragma once
// What the window's controls need beyond GTK's defaults: the form's colours on every control, the
// window's icon, and labels that keep their text inside their box.

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

namespace velmora::posix {

// The style class of the program's window; its colours apply to it and everything in it.
inline constexpr char kFormStyleClass[] = "velmora-form";

// The form's back colour (0x00BBGGRR) behind the window and every control, black text on it
// whatever the desktop's theme, and buttons as small as the design draws them.
void ApplyFormColours(std::uint32_t backColour);

// The 32 x 32 picture of resources/icon.h.
void SetWindowIcon(GtkWindow* window);

// A static label: its text wrapped inside its box, centred there or at its top left.
GtkWidget* MakeLabel(const std::string& text, bool centred);

// Draws the label's text smaller only when at the window's font size it would not fit its box;
// even the smallest that would not fit ends in an ellipsis rather than leaving the box.
void FitText(GtkLabel* label, int width, int height);

}  // namespace velmora::posix
