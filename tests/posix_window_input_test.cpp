// The Linux window driven as a user drives it: real clicks and keys through the X server, the
// program's own Form1 behind it, the dialog and the sequencer scripted by the fake platform.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <X11/keysym.h>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"
#include "tests/window_test_support.h"

namespace velmora::testing {
namespace {

class Form1OnRealWindow : public RealWindowTest {
 protected:
  void SetUp() override {
    RealWindowTest::SetUp();
    if (IsSkipped()) return;
    fake.separator = '/';
    fake.currentDirectory = "/home/ann/Music";
    form = std::make_unique<Form1>(platform::Platform{*window, fake, fake, fake});
    ShowAndWait(*form);
  }

  bool Shows(ControlId control) { return Widget(control).visible() != 0; }

  void ScriptChoice(const std::string& path) {
    fake.shortPaths[path] = path;
    fake.dialogAnswers.push_back(fake::FakePlatform::Choose(path));
  }

  bool WaitForDialogs(std::size_t count) {
    return WaitFor([&] { return fake.dialogRequests.size() == count; });
  }

  fake::FakePlatform fake;
  std::unique_ptr<Form1> form;
};

TEST_F(Form1OnRealWindow, AClickOnGetMidFileChoosesAFileAndShowsPlay) {
  ScriptChoice("/home/ann/Music/song.mid");
  ClickAt(Widget(ControlId::CmdGetMidFile));
  ASSERT_TRUE(WaitForDialogs(1)) << "the click never reached the handler";
  Settle();

  EXPECT_EQ(fake.dialogRequests[0].title, "Open File");
  EXPECT_EQ(form->FileTitle, "song.mid");
  EXPECT_TRUE(Shows(ControlId::cmdPlay));
  EXPECT_FALSE(Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(Shows(ControlId::cmdStop));
  EXPECT_EQ(Fl::focus(), &Widget(ControlId::cmdPlay))
      << "the keyboard moves on to the button shown";
}

TEST_F(Form1OnRealWindow, ACancelledDialogLeavesTheWindowAsItWas) {
  const auto before = PixelsOf(window->window());
  ClickAt(Widget(ControlId::CmdGetMidFile));  // no answer scripted: the dialog is cancelled
  ASSERT_TRUE(WaitForDialogs(1));
  Settle();
  EXPECT_TRUE(Shows(ControlId::CmdGetMidFile));
  EXPECT_FALSE(Shows(ControlId::cmdPlay));
  EXPECT_EQ(PixelsOf(window->window()), before);
}

TEST_F(Form1OnRealWindow, TheKeyboardAloneChoosesPlaysAndStops) {
  // Tab has nowhere else to go while one button is visible.
  PressKey(XK_Tab);
  Settle();
  ASSERT_EQ(Fl::focus(), &Widget(ControlId::CmdGetMidFile));

  ScriptChoice("/tmp/@x&y.mid");
  PressKey(XK_space);
  ASSERT_TRUE(WaitForDialogs(1)) << "Space did not click the focused button";
  ASSERT_TRUE(WaitFor([&] { return Shows(ControlId::cmdPlay); }));

  PressKey(XK_space);
  ASSERT_TRUE(WaitFor([&] { return Shows(ControlId::cmdStop); })) << "Space did not click Play";
  EXPECT_FALSE(Shows(ControlId::cmdPlay));
  EXPECT_EQ(fake.callsStartingWith("SendString play").size(), 1u);
  Settle();
  const Fl_Widget& label1 = Widget(ControlId::Label1);
  EXPECT_EQ(AboveLabel2(label1, PixelsOf(label1)),
            AboveLabel2(label1, ReferencePixels(label1, "Now Playing \n@x&y.mid")));

  PressKey(XK_Return);
  ASSERT_TRUE(WaitFor([&] { return Shows(ControlId::CmdGetMidFile); }))
      << "Enter did not click Stop";
  EXPECT_FALSE(Shows(ControlId::cmdStop));
  EXPECT_STREQ(label1.label(), "");
  EXPECT_EQ(fake.callsStartingWith("SendString close").size(), 1u);
}

TEST_F(RealWindowTest, EscapeDoesNotCloseTheWindowButTheCloseRequestUnloadsIt) {
  ShowAndWait(events);
  PressKey(XK_Escape);
  Settle();
  EXPECT_EQ(events.unloads, 0);
  EXPECT_TRUE(window->window().shown());

  SendCloseRequest(window->window());
  ASSERT_TRUE(WaitFor([&] { return events.unloads > 0; }))
      << "WM_DELETE_WINDOW never reached Unload";
  Settle();
  EXPECT_EQ(events.unloads, 1);
  // The form let the window close: it is gone and says so.
  EXPECT_FALSE(window->window().shown());
  EXPECT_FALSE(window->GetWindowMetric(platform::WindowMetric::Top).has_value());
  EXPECT_FALSE(window->SetWindowMetric(platform::WindowMetric::Top, 300));
}

}  // namespace
}  // namespace velmora::testing
