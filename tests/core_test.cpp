// The program's own code on the fake platform, as a table of user stories: what the user does, then
// every call the program makes, in order, and what the window holds afterwards.
#include <gtest/gtest.h>

#include "file_picker/module1.h"
#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Metric = platform::WindowMetric;
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
    form.Unload(cancel);
  }
  // Label1, the buttons shown, FileTitle and SlashPos.
  std::string State() {
    std::string state = platform.captions[ControlId::Label1] + "|";
    for (ControlId id : {ControlId::CmdGetMidFile, ControlId::cmdPlay, ControlId::cmdStop})
      if (platform.visible[id]) state += std::string(kForm1Design.control(id).caption) + "|";
    return state + form.FileTitle + "|" + std::to_string(form.SlashPos);
  }
};

const std::string kDialog =
    "GetOpenFileName owner 0 instance 4194304 filter Mid Files (*.mid) (*.Mid)|*.Mid| index 0 "
    "file +254 blanks max 255 title +254 blanks max 255 in C:\\Music caption Open File flags 0";
const Calls kChosen{"GetCurrentDirectory", kDialog, "SetVisible cmdPlay yes",
                    "SetVisible CmdGetMidFile no"};
const Calls kOpen{"SetCaption Label1 Please Wait", "ProcessPendingEvents",
                  "GetShortPathName C:\\tune.mid 67",
                  "SendString open C:\\TUNE.MID type sequencer alias mcitest"};
const Calls kPlaying{"SetVisible cmdPlay no", "SetVisible cmdStop yes",
                     "SetCaption Label1 Now Playing \r\ntune.mid"};
const Calls kIdle{"SendString close mcitest", "SetVisible cmdPlay no",
                  "SetVisible CmdGetMidFile yes"};

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The device fails the command that starts with the verb.
void Fail(Window& w, const std::string& verb, std::uint32_t code) {
  w.platform.mciAnswer = [=](const std::string& c) { return c.rfind(verb, 0) == 0 ? code : 0; };
}

struct Story {
  const char* name;
  std::function<void(Window&)> act;
  Calls calls;
  std::string state;
};

const Story kStories[] = {
    {"choose, play, stop",
     [](Window& w) {
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.form.Click(ControlId::cmdPlay);
       w.form.Click(ControlId::cmdStop);
     },
     Join({kChosen,
           kOpen,
           {"SendString play mcitest"},
           kPlaying,
           {"SendString close mcitest", "SetVisible cmdStop no", "SetVisible CmdGetMidFile yes",
            "SetCaption Label1 "}}),
     "|Get Mid File|tune.mid|3"},
    {"a cancel changes nothing but the buffer",
     [](Window& w) {
       w.Choose("C:\\Music\\Old\\a b.mid");
       w.form.Click(ControlId::CmdGetMidFile);
     },
     Join({kChosen, {"GetCurrentDirectory", kDialog}}), "|Play|a b.mid|0"},
    {"a path filling the whole buffer keeps its last character",
     [](Window& w) { w.Choose("C:\\" + std::string(242, 'd') + "\\name.mid"); }, kChosen,
     "|Play|name.mid|246"},
    {"a path without the platform's separator is no choice",
     [](Window& w) { w.Choose("C:/odd/name.mid"); },
     {"GetCurrentDirectory", kDialog},
     "|Get Mid File||0"},
    {"a failed open shows its first sentence, releases the alias, returns to Idle",
     [](Window& w) {
       Fail(w, "open", 296);
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kOpen,
           {"GetErrorString 296 255"},
           kIdle,
           {"SetCaption Label1 open: error 296."}}),
     "open: error 296.|Get Mid File|tune.mid|3"},
    {"a failed play keeps the code's full 32 bits",
     [](Window& w) {
       Fail(w, "play", 0x10113);
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           kOpen,
           {"SendString play mcitest", "GetErrorString 65811 255"},
           kIdle,
           {"SetCaption Label1 play: error 65811."}}),
     "play: error 65811.|Get Mid File|tune.mid|3"},
    {"a file gone before Play is not opened",
     [](Window& w) {
       w.Choose("C:\\tune.mid");
       w.platform.shortPaths.clear();
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           Calls(kOpen.begin(), kOpen.end() - 1),
           {"GetErrorString 275 255"},
           kIdle,
           {"SetCaption Label1 open: error 275."}}),
     "open: error 275.|Get Mid File|tune.mid|3"},
    {"a short form that does not fit is asked for again; one with a blank is quoted",
     [](Window& w) {
       w.Choose("C:\\tune.mid", "C:\\" + std::string(60, 'd') + "\\a b.mid");
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen,
           Calls(kOpen.begin(), kOpen.end() - 1),
           {"GetShortPathName C:\\tune.mid 72",
            "SendString open \"C:\\" + std::string(60, 'd') +
                "\\a b.mid\" type sequencer alias mcitest",
            "SendString play mcitest"},
           kPlaying}),
     "Now Playing \r\ntune.mid|Stop|tune.mid|3"},
    {"a second Play click waiting during Please Wait is ignored",
     [](Window& w) {
       w.Choose("C:\\tune.mid", "C:\\TUNE.MID");
       w.platform.pendingEvents.push_back([&w] { w.form.Click(ControlId::cmdPlay); });
       w.form.Click(ControlId::cmdPlay);
     },
     Join({kChosen, kOpen, {"SendString play mcitest"}, kPlaying}),
     "Now Playing \r\ntune.mid|Stop|tune.mid|3"},
    {"a close request waiting during Please Wait ends the program before the open",
     [](Window& w) {
       w.Choose("C:\\tune.mid");
       w.platform.failReads = true;
       w.platform.pendingEvents.push_back([&w] { w.Close(); });
       EXPECT_THROW(w.form.Click(ControlId::cmdPlay), fake::ProgramEnded);
     },
     Join({kChosen,
           Calls(kOpen.begin(), kOpen.begin() + 2),
           {"SendString close mcitest", "Get Top", "Get Top", "Get Left", "Get Width", "Get Height",
            "UpdateScreen", "Get Top", "ScreenWidth", "EndProgram"}}),
     "Please Wait|Play|tune.mid|3"},
};

TEST(Stories, CallsInOrderAndWhatTheWindowHolds) {
  for (const Story& story : kStories) {
    SCOPED_TRACE(story.name);
    Window w;
    story.act(w);
    EXPECT_EQ(w.platform.calls, story.calls);
    EXPECT_EQ(w.State(), story.state);
  }
}

TEST(Filter, TypesInListOrderFromIndexZeroWhileIndexIsAtMostCountLessOne) {
  const auto filter = [](float count) {
    return Module1::BuildFilter({"*.mid", "*.rmi"}, {"MIDI", "RIFF"}, count);
  };
  EXPECT_EQ(filter(2), "MIDI (*.mid)\0*.mid\0RIFF (*.rmi)\0*.rmi\0"s);
  EXPECT_EQ(filter(1.5f), "MIDI (*.mid)\0*.mid\0"s);
  EXPECT_EQ(filter(0.99f), "");
  EXPECT_EQ(filter(-3), "");
  EXPECT_THROW(filter(3), std::out_of_range);
}

// Closing a window at the screen's top-left corner; `screenWidth` twips wide.
Window Closed(const std::function<void(fake::FakePlatform&)>& setUp, float screenWidth = 300) {
  Window w;
  w.platform.metrics = {
      {Metric::Left, 0}, {Metric::Top, 0}, {Metric::Width, 3000}, {Metric::Height, 3000}};
  w.platform.screenWidth = screenWidth;
  setUp(w.platform);
  EXPECT_THROW(w.Close(), fake::ProgramEnded);
  return w;
}

std::size_t Passes(const Window& w) { return w.platform.screenUpdates.size(); }

TEST(Closing, StopsTheMusicThenMovesThirtyAndShrinksSixtyAPassUntilTheTopPassesTheWidth) {
  Window w = Closed([](auto&) {});
  EXPECT_EQ(Calls(w.platform.calls.begin(), w.platform.calls.begin() + 13),
            (Calls{"SendString close mcitest", "Get Top", "Get Top", "Set Top 30", "Get Left",
                   "Set Left 30", "Get Width", "Set Width 2940", "Get Height", "Set Height 2940",
                   "UpdateScreen", "Get Top", "ScreenWidth"}));
  EXPECT_EQ(w.platform.calls.back(), "EndProgram");
  // The top must exceed 300: 330 after 11 passes (a top equal to the width runs one more pass).
  EXPECT_EQ(Passes(w), 11u);
  EXPECT_EQ(
      w.platform.metrics,
      (std::map<Metric, float>{
          {Metric::Left, 330}, {Metric::Top, 330}, {Metric::Width, 2340}, {Metric::Height, 2340}}));
  EXPECT_EQ(Passes(Closed([](auto& p) { p.minimumSize = 2700; })), 11u) << "held at its smallest";
  EXPECT_EQ(Passes(Closed([](auto& p) { p.rejectWrites[Metric::Height] = true; })), 11u);
  EXPECT_EQ(Passes(Closed([](auto& p) { p.rejectWrites[Metric::Top] = true; })), 1u)
      << "cannot move";
  EXPECT_EQ(Passes(Closed([](auto& p) { p.failReads = true; })), 1u) << "cannot be read";
}

TEST(Closing, CrossesAWideScreenInAboutASecondAndNeverWaitsOnASlowPass) {
  const auto slide = [](std::chrono::nanoseconds writeCost) {
    Window w =
        Closed([&](auto& p) { p.metrics[Metric::Top] = 1500, p.writeCost = writeCost; }, 28800);
    return std::make_pair(Passes(w), w.platform.now);
  };
  const auto [passes, took] = slide(0ms);
  EXPECT_EQ(passes, 911u);  // from 100 pixels down to past 1920, 2 pixels a pass
  EXPECT_GT(took, 900ms);
  EXPECT_LT(took, 1000ms);
  // Each pass already takes 4 ms of writes, four times its share: nothing is added to it.
  EXPECT_EQ(slide(1ms).second, 911 * 4ms);
}

}  // namespace
}  // namespace velmora
