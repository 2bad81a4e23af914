#pragma once
// A real FLTK window on the test display, with a sink that records the events it delivers.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/posix/fltk_window.h"
#include "tests/x11_session.h"

namespace velmora::testing {

struct RecordedEvents : platform::WindowEvents {
  std::vector<ControlId> clicks;
  int unloads = 0;
  void Click(ControlId control) override { clicks.push_back(control); }
  void Unload(std::int16_t&) override { ++unloads; }
};

// Passes every call to the real window; a test overrides the calls it watches.
class ForwardingWindow : public platform::WindowSystem {
 public:
  explicit ForwardingWindow(posix::FltkWindow& real) : real_(real) {}

  void SetCaption(ControlId control, std::string_view text) override {
    real_.SetCaption(control, text);
  }
  void SetVisible(ControlId control, bool visible) override { real_.SetVisible(control, visible); }
  std::optional<float> GetWindowMetric(platform::WindowMetric metric) override {
    return real_.GetWindowMetric(metric);
  }
  bool SetWindowMetric(platform::WindowMetric metric, float twips) override {
    return real_.SetWindowMetric(metric, twips);
  }
  std::optional<float> ScreenWidth() override { return real_.ScreenWidth(); }
  platform::InstanceHandle ModuleInstance() override { return real_.ModuleInstance(); }
  void UpdateScreen() override { real_.UpdateScreen(); }
  void ProcessPendingEvents() override { real_.ProcessPendingEvents(); }
  [[noreturn]] void EndProgram() override { real_.EndProgram(); }

 protected:
  posix::FltkWindow& real_;
};

// Label1's pixels above the strip where Label2 lies over its foot (Label2's top is 136 px at 96
// DPI): the part a reference drawing of Label1 alone can be compared with.
inline std::vector<std::uint32_t> AboveLabel2(const Fl_Widget& label1,
                                              std::vector<std::uint32_t> pixels) {
  const int rows = 136 - label1.y();
  pixels.resize(static_cast<std::size_t>(rows * label1.w()));
  return pixels;
}

class RealWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = WhyNoDisplay(); !why.empty()) GTEST_SKIP() << why;
    window = std::make_unique<posix::FltkWindow>();
  }

  void ShowAndWait(platform::WindowEvents& sink) {
    window->Show(sink);
    ASSERT_TRUE(WaitUntilViewable(window->window())) << "the window never appeared";
  }

  Fl_Widget& Widget(ControlId control) { return window->widget(control); }

  RecordedEvents events;
  std::unique_ptr<posix::FltkWindow> window;
};

}  // namespace velmora::testing
