// Closing: release the device, slide the shrinking window off the screen, end the program.
#include "main_window/form1.h"

namespace velmora {

namespace {
using platform::WindowMetric;
using namespace std::chrono_literals;

// The slide crosses a screen's width in about a second, whatever the screen: seen, and soon over.
constexpr platform::Clock::Duration kScreenCrossing = 1s;
constexpr float kStep = 30.0f;

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
  const platform::Clock::Duration start = host_.clock.Now();
  auto previousTop = window.GetWindowMetric(WindowMetric::Top);
  for (long pass = 1;; ++pass) {
    Step(window, WindowMetric::Top, kStep);
    Step(window, WindowMetric::Left, kStep);
    Step(window, WindowMetric::Width, -2 * kStep);
    Step(window, WindowMetric::Height, -2 * kStep);
    // A pass the window system refused left the window where it was: it cannot move.
    if (!window.UpdateScreen()) return;

    const auto top = window.GetWindowMetric(WindowMetric::Top);
    const auto screenWidth = window.ScreenWidth();
    if (!top || !screenWidth || *top > *screenWidth) return;
    // A window that cannot move (minimised, maximised, held by the window manager) never reaches
    // the edge: a pass that did not lower its top ends the slide.
    if (previousTop && *top <= *previousTop) return;
    previousTop = top;
    // Each pass is due at its share of the crossing, counted from the start: a pass that took
    // longer than its share is not made to wait as well.
    const double share = pass * kStep / *screenWidth;
    host_.clock.SleepUntil(
        start + std::chrono::duration_cast<platform::Clock::Duration>(share * kScreenCrossing));
  }
}

}  // namespace velmora
