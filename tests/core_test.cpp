// The program's own code on the fake platform, as a table of user stories: what the user does, then
// every call the program makes, in order, and what the window shows afterwards.
#include <gtest/gtest.h>

#include "file_picker/module1.h"
#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using platform::WindowMetric;
using Calls = std::vector<std::string>;

struct Window {
  fake::FakePlatform platform;
  Form1 form{platform.host()};

  // Get Mid File, the dialog answering the path; the file exists with the given short form.
  void Choose(const std::string& path, const std::string& shortForm = "") {
    platform.shortPaths[path] = shortForm.empty() ? path : shortForm;
    platform.dialogAnswers.push_back(fake::FakePlatform::Choose(path));
    form.Click(ControlId::CmdGetMidFile);
  }
  void Close() {
    std::int16_t cancel = 0;
    EXPECT_THROW(form.Unload(cancel), fake::ProgramEnded);
  }
  std::string Buttons() {
    std::string shown;
    for (ControlId id : {ControlId::CmdGetMidFile, ControlId::cmdPlay, ControlId::cmdStop})
      if (platform.visible[id]) shown += std::string(kForm1Design.control(id).caption) + ";";
    return shown;
  }
};

const std::string kDialog =
    "GetOpenFileName owner 0 instance 4194304 filter Mid Files (*.mid) (*.Mid)|*.Mid| index 0 "
    "file +254 blanks max 255 title +254 blanks max 255 in C:\\Music caption Open File flags 0";
const Calls kChosen{"GetCurrentDirectory", kDialog, "SetVisible cmdPlay yes",
                    "SetVisible CmdGetMidFile no"};
const Calls kPleaseWait{"SetCaption Label1 Please Wait", "ProcessPendingEvents"};
const std::string kOpen = "SendString open C:\\TUNE.MID type sequencer alias mcitest";

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::uint32_t Fails(const std::string& command, const std::string& verb, std::uint32_t code) {
  return command.rfind(verb, 0) == 0 ? code : 0;
}

struct Story {
  const char* name;
  std::function<void(Window&)> act;
  Calls calls;
  std::string label1, buttons, fileTitle;
};

const Story kStories[] = {
    {"choose, play, stop",
     [](Window& w) {
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.form.Click(ControlId::cmdPlay);
       w.form.Click(ControlId::cmdStop);
     },
     Join({kChosen,
           kPleaseWait,
           {"GetShortPathName C:\\tune.mid 67", kOpen, "SendString play mcitest",
            "SetVisible cmdPlay no", "SetVisible cmdStop yes",
            "SetCaption Label1 Now Playing \r\ntune.mid", "SendString close mcitest",
            "SetVisible cmdStop no", "SetVisible CmdGetMidFile yes", "SetCaption Label1 "}}),
     "", "Get Mid File;", "tune.mid"},
    {"a cancelled dialog changes nothing",
     [](Window& w) { w.form.Click(ControlId::CmdGetMidFile); },
     {"GetCurrentDirectory", kDialog},
     "",
     "Get Mid File;",
     ""},
    {"only the name after the last separator is the title",
     [](Window& w) { w.Choose("C:\\Music\\Old\\a b.mid"); }, kChosen, "", "Play;", "a b.mid"},
    {"a path filling the whole buffer keeps its last character",
     [](Window& w) { w.Choose("C:\\" + std::string(242, 'd') + "\\name.mid"); },
     {"GetCurrentDirectory", kDialog, "SetVisible cmdPlay yes", "SetVisible CmdGetMidFile no"},
     "",
     "Play;",
     "name.mid"},
    {"a path without the platform's separator is no choice",
     [](Window& w) { w.Choose("C:/odd/name.mid"); },
     {"GetCurrentDirectory", kDialog},
     "",
     "Get Mid File;",
     ""},
    {"a failed open shows its first sentence, releases the alias, returns to Idle",
     [](Window& w) {
       w.platform.mciAnswer = [](const std::string& c) { return Fails(c, "open", 296); };
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kPleaseWait,
           {"GetShortPathName C:\\tune.mid 67", kOpen, "GetErrorString 296 255",
            "SendString close mcitest", "SetVisible cmdPlay no", "SetVisible CmdGetMidFile yes",
            "SetCaption Label1 open: error 296."}}),
     "open: error 296.", "Get Mid File;", "tune.mid"},
    {"a failed play keeps the code's full 32 bits",
     [](Window& w) {
       w.platform.mciAnswer = [](const std::string& c) { return Fails(c, "play", 0x10113); };
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kPleaseWait,
           {"GetShortPathName C:\\tune.mid 67", kOpen, "SendString play mcitest",
            "GetErrorString 65811 255", "SendString close mcitest", "SetVisible cmdPlay no",
            "SetVisible CmdGetMidFile yes", "SetCaption Label1 play: error 65811."}}),
     "play: error 65811.", "Get Mid File;", "tune.mid"},
    {"a file gone before Play is not opened",
     [](Window& w) {
       w.Choose("C:\\tune.mid");
       w.platform.shortPaths.clear();
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kPleaseWait,
           {"GetShortPathName C:\\tune.mid 67", "GetErrorString 275 255",
            "SendString close mcitest", "SetVisible cmdPlay no", "SetVisible CmdGetMidFile yes",
            "SetCaption Label1 open: error 275."}}),
     "open: error 275.", "Get Mid File;", "tune.mid"},
    {"a short form that does not fit is asked for again; one with a blank is quoted",
     [](Window& w) {
       w.Choose("C:\\deep.mid", "C:\\" + std::string(60, 'd') + "\\a b.mid");
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kPleaseWait,
           {"GetShortPathName C:\\deep.mid 67", "GetShortPathName C:\\deep.mid 72",
            "SendString open \"C:\\" + std::string(60, 'd') +
                "\\a b.mid\" type sequencer alias mcitest",
            "SendString play mcitest", "SetVisible cmdPlay no", "SetVisible cmdStop yes",
            "SetCaption Label1 Now Playing \r\ndeep.mid"}}),
     "Now Playing \r\ndeep.mid", "Stop;", "deep.mid"},
    {"a second Play click waiting during Please Wait is ignored",
     [](Window& w) {
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.platform.pendingEvents.push_back([&w] { w.form.Click(ControlId::cmdPlay); });
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kPleaseWait,
           {"GetShortPathName C:\\tune.mid 67", kOpen, "SendString play mcitest",
            "SetVisible cmdPlay no", "SetVisible cmdStop yes",
            "SetCaption Label1 Now Playing \r\ntune.mid"}}),
     "Now Playing \r\ntune.mid", "Stop;", "tune.mid"},
    {"a close request waiting during Please Wait ends the program before the open",
     [](Window& w) {
       w.Choose("C:\\tune.mid");
       w.platform.failReads = true;
       w.platform.pendingEvents.push_back([&w] {
         std::int16_t cancel = 0;
         w.form.Unload(cancel);
       });
       EXPECT_THROW(w.form.Click(ControlId::cmdPlay), fake::ProgramEnded);
     },
     Join({kChosen,
           kPleaseWait,
           {"SendString close mcitest", "Get Top", "Get Top", "Get Left", "Get Width", "Get Height",
            "UpdateScreen", "Get Top", "ScreenWidth", "EndProgram"}}),
     "Please Wait", "Play;", "tune.mid"},
};

TEST(Stories, CallsInOrderAndWhatTheWindowShows) {
  for (const Story& story : kStories) {
    SCOPED_TRACE(story.name);
    Window w;
    story.act(w);
    EXPECT_EQ(w.platform.calls, story.calls);
    EXPECT_EQ(w.platform.captions[ControlId::Label1], story.label1);
    EXPECT_EQ(w.Buttons(), story.buttons);
    EXPECT_EQ(w.form.FileTitle, story.fileTitle);
  }
}

TEST(Stories, TheStateAfterACancelKeepsTheLastTitle) {
  Window w;
  w.Choose("C:\\" + std::string(242, 'd') + "\\name.mid");
  EXPECT_EQ(w.form.SlashPos, 246);
  w.form.Click(ControlId::cmdPlay);
  w.form.Click(ControlId::cmdStop);
  w.form.Click(ControlId::CmdGetMidFile);  // cancelled
  EXPECT_EQ(w.form.FileName, std::string(254, ' '));
  EXPECT_EQ(w.form.SlashPos, 0);
  EXPECT_EQ(w.form.FileTitle, "name.mid");
}

TEST(Filter, TypesInListOrderFromIndexZeroWhileIndexIsAtMostCountLessOne) {
  const std::vector<std::string> patterns{"*.mid", "*.rmi"}, descriptions{"MIDI", "RIFF"};
  const auto filter = [&](float count) {
    return Module1::BuildFilter(patterns, descriptions, count);
  };
  EXPECT_EQ(filter(2), "MIDI (*.mid)\0*.mid\0RIFF (*.rmi)\0*.rmi\0"s);
  EXPECT_EQ(filter(1.5f), "MIDI (*.mid)\0*.mid\0"s);
  EXPECT_EQ(filter(0.99f), "");
  EXPECT_EQ(filter(-3), "");
  EXPECT_THROW(filter(3), std::out_of_range);
}

// Closing. The window starts at the top-left corner; the screen is 300 twips wide.
Window Closed(const std::function<void(fake::FakePlatform&)>& setUp) {
  Window w;
  w.platform.metrics = {{WindowMetric::Left, 0},
                        {WindowMetric::Top, 0},
                        {WindowMetric::Width, 3000},
                        {WindowMetric::Height, 3000}};
  w.platform.screenWidth = 300;
  setUp(w.platform);
  w.Close();
  return w;
}

std::size_t Passes(const Window& w) { return w.platform.screenUpdates.size(); }

TEST(Closing, StopsTheMusicThenMovesThirtyAndShrinksSixtyAPassUntilTheTopPassesTheWidth) {
  Window w = Closed([](auto&) {});
  const Calls firstPass(w.platform.calls.begin(), w.platform.calls.begin() + 13);
  EXPECT_EQ(firstPass,
            (Calls{"SendString close mcitest", "Get Top", "Get Top", "Set Top 30", "Get Left",
                   "Set Left 30", "Get Width", "Set Width 2940", "Get Height", "Set Height 2940",
                   "UpdateScreen", "Get Top", "ScreenWidth"}));
  EXPECT_EQ(w.platform.calls.back(), "EndProgram");
  // The top must exceed 300: 330 after 11 passes (a top equal to the width runs one more pass).
  EXPECT_EQ(Passes(w), 11u);
  EXPECT_EQ(w.platform.metrics, (std::map<WindowMetric, float>{{WindowMetric::Left, 330},
                                                               {WindowMetric::Top, 330},
                                                               {WindowMetric::Width, 2340},
                                                               {WindowMetric::Height, 2340}}));
}

TEST(Closing, HeldOrRefusedSizesSlideOnAndAWindowThatCannotMoveOrBeReadEndsAtOnce) {
  EXPECT_EQ(Passes(Closed([](auto& p) { p.minimumSize = 2700; })), 11u);
  EXPECT_EQ(Passes(Closed([](auto& p) { p.rejectWrites[WindowMetric::Height] = true; })), 11u);
  EXPECT_EQ(Passes(Closed([](auto& p) { p.rejectWrites[WindowMetric::Top] = true; })), 1u);
  Window unread = Closed([](auto& p) { p.failReads = true; });
  EXPECT_EQ(Passes(unread), 1u);
  EXPECT_EQ(unread.platform.calls.back(), "EndProgram");
}

TEST(Closing, CrossesAWideScreenInAboutASecondAndNeverWaitsOnASlowPass) {
  const auto slide = [](std::chrono::nanoseconds writeCost) {
    Window w = Closed([&](auto& p) {
      p.screenWidth = 1920 * 15;
      p.metrics[WindowMetric::Top] = 100 * 15;
      p.writeCost = writeCost;
    });
    return std::make_pair(Passes(w), w.platform.now);
  };
  const auto [passes, took] = slide(0ms);
  EXPECT_EQ(passes, 911u);
  EXPECT_GT(took, 900ms);
  EXPECT_LT(took, 1000ms);
  // Each pass already takes 4 ms of writes, four times its share: nothing is added to it.
  EXPECT_EQ(slide(1ms).second, 911 * 4ms);
}

}  // namespace
}  // namespace velmora
