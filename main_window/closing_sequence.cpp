// Closing: release the device, slide the shrinking window off the screen, end the program.
#include "main_window/form1.h"

namespace velmora {

namespace {
using platform::WindowMetric;

// A failing read or a rejected write skips the step; the slide goes on.
void Step(platform::WindowSystem& window, WindowMetric metric, float delta) {
  if (const auto value = window.GetWindowMetric(metric)) {
    window.SetWindowMetric(metric, *value + delta);
  }
}
}  // namespace

void Form1::Form_Unload(std::int16_t& /*cancel: closing cannot be cancelled*/) {
  CloseMidi();  // nothing may be open: its failure is dropped
  SlideOffScreen();
  host_.window.EndProgram();
}

void Form1::SlideOffScreen() {
  platform::WindowSystem& window = host_.window;
  auto previousTop = window.GetWindowMetric(WindowMetric::Top);
  for (;;) {
    Step(window, WindowMetric::Top, 30.0f);
    Step(window, WindowMetric::Left, 30.0f);
    Step(window, WindowMetric::Width, -60.0f);
    Step(window, WindowMetric::Height, -60.0f);

    const auto top = window.GetWindowMetric(WindowMetric::Top);
    const auto screenWidth = window.ScreenWidth();
    if (!top || !screenWidth || *top > *screenWidth) return;
    // A window that cannot move (minimised, maximised, held by the window manager) never reaches
    // the edge: a pass that did not lower its top ends the slide.
    if (previousTop && *top <= *previousTop) return;
    previousTop = top;
  }
}

}  // namespace velmora
