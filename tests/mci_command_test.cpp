// The Linux MCI layer's command grammar: what the program sends, quoting, keywords in any case and
// order, and a code with a text for every malformed command.
#include <gtest/gtest.h>

#include "platform/posix/mci/mci_command.h"
#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {
namespace {

// A command as read: "verb element|device" ("*" for close all), or its error code.
std::string Read(std::string_view text) {
  const ParsedMciCommand parsed = ParseMciCommand(text);
  if (parsed.error != platform::kMciOk) {
    EXPECT_FALSE(mci_error::Text(parsed.error).empty()) << parsed.error;
    return std::to_string(parsed.error);
  }
  const MciCommand& c = parsed.command;
  static const char* const verbs[] = {"open", "play", "close"};
  return std::string(verbs[static_cast<int>(c.verb)]) + " " + c.element + "|" +
         (c.all ? "*" : c.deviceName);
}

TEST(MciCommand, ReadsEveryCommandOrAnswersWithItsCode) {
  const std::pair<std::string, std::string> cases[] = {
      {"open /home/ann/tune.mid type sequencer alias mcitest", "open /home/ann/tune.mid|mcitest"},
      {"play mcitest", "play |mcitest"},
      {"close mcitest", "close |mcitest"},
      {"close all", "close |*"},
      {"  OPEN /a/B.MID   Type SEQUENCER  ALIAS  Tune  ", "open /a/B.MID|Tune"},
      {"open /a.mid alias m type sequencer", "open /a.mid|m"},
      {"open /a/tune.Midi", "open /a/tune.Midi|/a/tune.Midi"},
      {"open \"/My Music/a b.mid\" type sequencer alias m", "open /My Music/a b.mid|m"},
      {"open \"/x/say \"hi\" now.mid\" type sequencer alias m", "open /x/say \"hi\" now.mid|m"},
      {"open \"/x/end.mid\"", "open /x/end.mid|/x/end.mid"},
      {"open /x/bare\"quote.mid type sequencer alias m", "open /x/bare\"quote.mid|m"},
      {"open /x/tab\there.mid alias m", "open /x/tab\there.mid|m"},
      {"play \"my tune\"", "play |my tune"},
      {"close \"all\"", "close |all"},  // a device named all, not every device
      {std::string("play m\0 garbage", 15), "play |m"},
      {std::string("\0play m", 7), "267"},
      {"", "267"},
      {"stop mcitest", "261"},
      {"\"open\" x.mid", "261"},
      {"open", "292"},
      {"open alias m", "292"},
      {"open  type sequencer alias mcitest", "304"},
      {"open sequencer alias m", "304"},
      {"open /a/b.mid type sequencer alias", "269"},
      {"open /a/b.mid type sequencer alias \"\"", "269"},
      {"open /a/b.mid type waveaudio alias m", "306"},
      {"open /a/b.mid alias m alias n", "295"},
      {"open /a/b.mid type sequencer alias m wait", "259"},
      {"open /a/b.wav alias m", "281"},
      {"open /a.mid/b alias m", "281"},
      {"open \"/a b/c.mid type sequencer alias m", "294"},
      {"open /a/b.mid type sequencer alias all", "263"},
      {"play all", "279"},
      {"play mcitest from 0", "259"},
      {"close all mcitest", "259"},
  };
  for (const auto& [command, read] : cases) EXPECT_EQ(Read(command), read) << command;
}

}  // namespace
}  // namespace velmora::posix
