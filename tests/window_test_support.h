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
