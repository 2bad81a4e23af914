// The program's own code on the fake platform. The user stories of tests/core_stories.txt: what the
// user does, then every call the program makes, in order, and what the window holds afterwards.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "file_picker/module1.h"
#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Metric = platform::WindowMetric;

struct Window {
  fake::FakePlatform platform;
  Form1 form{platform.host()};
  // Label1, the buttons shown, FileTitle and SlashPos.
  std::string State() {
    std::string state = platform.captions[ControlId::Label1] + "|";
    for (ControlId id : {ControlId::CmdGetMidFile, ControlId::cmdPlay, ControlId::cmdStop})
      if (platform.visible[id]) state += std::string(kForm1Design.control(id).caption) + "|";
    return state + form.FileTitle + "|" + std::to_string(form.SlashPos);
  }
  std::int16_t cancel = 0;  // what Unload is handed and may set
  void Close() { form.Unload(cancel); }
  // Only a button on the screen can be clicked.
  void Click(ControlId button) {
    EXPECT_TRUE(platform.visible[button]) << kForm1Design.control(button).name << " is hidden";
    form.Click(button);
  }
  // An event from the window or from outside it: a button's caption, "close", "open PATH" (a file
  // handed over) or "media Play|Stop|PlayPause".
  std::function<void()> Event(const std::string& what) {
    const auto button = [](const std::string& caption) {
      for (const ControlDesign& c : kForm1Design.controls)
        if (c.caption == caption) return c.id;
      throw std::invalid_argument(caption);
    };
    if (what.rfind("open ", 0) == 0) return [=, this] { form.OpenFile(what.substr(5)); };
    if (what.rfind("media ", 0) == 0) {
      using enum platform::MediaKey;
      const std::map<std::string, platform::MediaKey> keys{
          {"Play", Play}, {"Stop", Stop}, {"PlayPause", PlayPause}};
      return [this, key = keys.at(what.substr(6))] { form.Media(key); };
    }
    if (what == "close") return [this] { Close(); };
    return [=, this] { Click(button(what)); };
  }
  // One thing the user does, or the platform's script for what follows.
  void Act(const std::string& verb, const std::string& what) {
    const std::size_t bar = what.find(" | ");  // choose, open: the path, then its short form
    std::istringstream words(what);
    std::string command;
    std::uint32_t code = 0;
    auto& p = platform;
    if (bar != std::string::npos) {  // the file exists, with this short form
      const std::size_t path = what.rfind("open ", 0) == 0 ? 5 : 0;
      p.shortPaths[what.substr(path, bar - path)] = what.substr(bar + 3);
    }
    if (verb == "choose")
      p.shortPaths.try_emplace(what.substr(0, bar), what.substr(0, bar)),
          p.dialogAnswers.push_back(fake::FakePlatform::Choose(what.substr(0, bar))),
          form.Click(ControlId::CmdGetMidFile);
    else if (verb == "click" || verb == "open" || verb == "media")
      Event(verb == "click" ? what : verb + " " + what.substr(0, bar))();
    else if (verb == "waiting")  // an event run when pending events are processed
      p.pendingEvents.push_back(Event(what.substr(0, bar)));
    else if (verb == "in-dialog")  // an event run by the dialog's loop while it is open
      p.whileDialogOpen.push_back(Event(what.substr(0, bar)));
    else if (verb == "close")
      Close();
    else if (verb == "fails" && words >> command >> code)  // the command starting with the verb
      p.mciAnswer = [=](const std::string& c) { return c.rfind(command, 0) == 0 ? code : 0; };
    else if (verb == "gone")
      p.shortPaths.clear();
    else if (verb == "window")
      for (Metric m : {Metric::Left, Metric::Top, Metric::Width, Metric::Height})
        words >> p.metrics[m];
    else if (verb == "screen")
      words >> p.screenWidth;
    else if (verb == "smallest")
      words >> p.minimumSize;
    else if (verb == "refuses")  // Left, Top, Width or Height
      p.rejectWrites[static_cast<Metric>(std::string("LTWH").find(what[0]))] = true;
    else if (verb == "unreadable")
      p.failReads = true;
    else if (verb == "codepage")  // 932
      p.shiftJis = true;
    else if (verb == "stuck")  // the window system refuses to put a pass on the screen
      p.refuseUpdates = true;
    else
      ADD_FAILURE() << "no such step: " << verb;
  }
};

// A text of the file: "{CRLF}" stands for a line break inside a caption, "{xHH}" for a byte.
std::string Unescaped(std::string line) {
  for (std::size_t at; (at = line.find("{CRLF}")) != std::string::npos;)
    line.replace(at, 6, "\r\n");
  for (std::size_t at; (at = line.find("{x")) != std::string::npos;)
    line.replace(at, 5, 1, static_cast<char>(std::stoi(line.substr(at + 2, 2), nullptr, 16)));
  return line;
}

TEST(Stories, CallsInOrderAndWhatTheWindowHolds) {
  std::ifstream file(VELMORA_SOURCE_DIR "/tests/core_stories.txt");
  std::string line, name;
  std::vector<std::string> calls;
  auto w = std::make_unique<Window>();
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("story: ", 0) == 0) {
      name = line.substr(7), calls.clear(), w = std::make_unique<Window>();
    } else if (line[0] == '>') {  // "> verb what"
      const std::size_t space = line.find(' ', 2);
      try {
        w->Act(line.substr(2, space - 2),
               space == std::string::npos ? "" : Unescaped(line.substr(space + 1)));
      } catch (const fake::ProgramEnded&) {
      }
    } else if (line[0] == '~') {  // what the now-playing controls were told, in order
      std::string told;
      for (const std::string& report : w->platform.nowPlaying) told += report + "; ";
      EXPECT_EQ(told, line.substr(2)) << name;
    } else if (line[0] == '=') {  // the end of the story: what the window holds
      EXPECT_EQ(w->platform.calls, calls) << name;
      EXPECT_EQ(w->State(), Unescaped(line.substr(2))) << name;
    } else {
      calls.push_back(Unescaped(line));
    }
  }
  EXPECT_FALSE(name.empty()) << "no stories read";
}

TEST(Filter, TypesInListOrderFromIndexZeroWhileIndexIsAtMostCountLessOne) {
  const auto filter = [](float count) {
    return Module1::BuildFilter({"*.mid", "*.rmi"}, {"MIDI", "RIFF"}, count);
  };
  EXPECT_EQ(filter(2), "MIDI (*.mid)\0*.mid\0RIFF (*.rmi)\0*.rmi\0"s);
  EXPECT_EQ(filter(1.5f), "MIDI (*.mid)\0*.mid\0"s);
  EXPECT_EQ(filter(0.99f) + filter(-3), "");
  EXPECT_THROW(filter(3), std::out_of_range);
}

TEST(Closing, CrossesAWideScreenInAboutASecondAndNeverWaitsOnASlowPass) {
  const auto slide = [](std::chrono::nanoseconds writeCost) {
    Window w;
    w.platform.metrics[Metric::Top] = 1500;  // 100 pixels down a 1920-pixel-wide screen
    w.platform.writeCost = writeCost;
    EXPECT_THROW(w.Close(), fake::ProgramEnded);
    return std::make_pair(w.platform.screenUpdates.size(), w.platform.now);
  };
  const auto [passes, took] = slide(0ms);
  EXPECT_EQ(passes, 911u);  // 2 pixels a pass down to past 1920
  EXPECT_GT(took, 900ms);
  EXPECT_LT(took, 1000ms);
  // Each pass already takes 4 ms of writes, four times its share: nothing is added to it.
  EXPECT_EQ(slide(1ms).second, 911 * 4ms);
}

}  // namespace
}  // namespace velmora
