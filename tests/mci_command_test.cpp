// The command grammar: what the program sends, quoting, and a clean error code for everything else.
#include <gtest/gtest.h>

#include "platform/posix/mci/mci_command.h"
#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {
namespace {

namespace err = mci_error;

struct ErrorCase {
  const char* command;
  platform::MciError expected;
};

TEST(MciCommand, EveryMalformedCommandGetsItsOwnCode) {
  const ErrorCase cases[] = {
      {"", err::kMissingCommandString},
      {"   ", err::kMissingCommandString},
      {"stop mcitest", err::kUnrecognizedCommand},
      {"\"open\" x.mid", err::kUnrecognizedCommand},
      {"openx.mid type sequencer", err::kUnrecognizedCommand},
      {"open", err::kMissingDeviceName},
      {"open  type sequencer alias mcitest", err::kFilenameRequired},
      {"open \"\" type sequencer alias mcitest", err::kFilenameRequired},
      {"open type sequencer", err::kFilenameRequired},
      {"open sequencer alias m", err::kFilenameRequired},
      {"open alias m", err::kMissingDeviceName},
      {"open /a/b.mid type", err::kMissingStringArgument},
      {"open /a/b.mid type sequencer alias", err::kMissingStringArgument},
      {"open /a/b.mid type sequencer alias \"\"", err::kMissingStringArgument},
      {"open /a/b.mid type waveaudio alias m", err::kDeviceNotInstalled},
      {"open /a/b.mid type sequencer type sequencer", err::kDuplicateFlags},
      {"open /a/b.mid alias m alias n", err::kDuplicateFlags},
      {"open /a/b.mid type sequencer alias m wait", err::kUnrecognizedKeyword},
      {"open /a/b.mid notify", err::kUnrecognizedKeyword},
      {"open /a/b.wav alias m", err::kExtensionNotFound},
      {"open /a/b alias m", err::kExtensionNotFound},
      {"open /a.mid/b alias m", err::kExtensionNotFound},
      {"open \"/a b/c.mid type sequencer alias m", err::kNoClosingQuote},
      {"open \"/a b/c\".mid type sequencer", err::kNoClosingQuote},
      {"open /a/b.mid type sequencer alias all", err::kInvalidDeviceName},
      {"play", err::kMissingDeviceName},
      {"play \"\"", err::kMissingDeviceName},
      {"play all", err::kCannotUseAll},
      {"play mcitest from 0", err::kUnrecognizedKeyword},
      {"play mcitest wait", err::kUnrecognizedKeyword},
      {"play \"mci", err::kNoClosingQuote},
      {"close", err::kMissingDeviceName},
      {"close mcitest now", err::kUnrecognizedKeyword},
      {"close all mcitest", err::kUnrecognizedKeyword},
  };
  for (const auto& [command, expected] : cases) {
    EXPECT_EQ(ParseMciCommand(command).error, expected) << '"' << command << '"';
    EXPECT_FALSE(mci_error::Text(expected).empty()) << expected;
  }
}

TEST(MciCommand, ReadsTheProgramsOwnCommands) {
  const auto open = ParseMciCommand("open /home/ann/Music/tune.mid type sequencer alias mcitest");
  ASSERT_EQ(open.error, platform::kMciOk);
  EXPECT_EQ(open.command.verb, MciVerb::Open);
  EXPECT_EQ(open.command.element, "/home/ann/Music/tune.mid");
  EXPECT_EQ(open.command.deviceName, "mcitest");

  const auto play = ParseMciCommand("play mcitest");
  ASSERT_EQ(play.error, platform::kMciOk);
  EXPECT_EQ(play.command.verb, MciVerb::Play);
  EXPECT_EQ(play.command.deviceName, "mcitest");

  const auto close = ParseMciCommand("close mcitest");
  ASSERT_EQ(close.error, platform::kMciOk);
  EXPECT_EQ(close.command.verb, MciVerb::Close);
  EXPECT_FALSE(close.command.all);

  const auto closeAll = ParseMciCommand("close all");
  ASSERT_EQ(closeAll.error, platform::kMciOk);
  EXPECT_TRUE(closeAll.command.all);
}

TEST(MciCommand, KeywordsIgnoreCaseAndExtraBlanks) {
  const auto open = ParseMciCommand("  OPEN /a/B.MID   Type SEQUENCER  ALIAS  Tune  ");
  ASSERT_EQ(open.error, platform::kMciOk);
  EXPECT_EQ(open.command.element, "/a/B.MID");
  EXPECT_EQ(open.command.deviceName, "Tune");
  EXPECT_EQ(ParseMciCommand("Play tune").error, platform::kMciOk);
  EXPECT_TRUE(ParseMciCommand("CLOSE ALL").command.all);
  // A device quoted as "all" is a name, not every device.
  EXPECT_FALSE(ParseMciCommand("close \"all\"").command.all);
}

TEST(MciCommand, QuotedElementsKeepBlanksAndInnerQuotes) {
  struct QuoteCase {
    const char* command;
    const char* element;
  };
  const QuoteCase cases[] = {
      {"open \"/home/ann/My Music/a b.mid\" type sequencer alias mcitest",
       "/home/ann/My Music/a b.mid"},
      {"open \"/x/say \"hi\" now.mid\" type sequencer alias mcitest", "/x/say \"hi\" now.mid"},
      {"open \"/x/\"quoted\".mid\" type sequencer alias m", "/x/\"quoted\".mid"},
      {"open \"/x/end.mid\"", "/x/end.mid"},
      {"open /x/bare\"quote.mid type sequencer alias m", "/x/bare\"quote.mid"},
      {"open /x/tab\there.mid type sequencer alias m", "/x/tab\there.mid"},
  };
  for (const auto& [command, element] : cases) {
    const auto parsed = ParseMciCommand(command);
    ASSERT_EQ(parsed.error, platform::kMciOk) << command;
    EXPECT_EQ(parsed.command.element, element) << command;
  }
}

TEST(MciCommand, FlagsInAnyOrderAndOptional) {
  const auto reordered = ParseMciCommand("open /a.mid alias m type sequencer");
  ASSERT_EQ(reordered.error, platform::kMciOk);
  EXPECT_EQ(reordered.command.deviceName, "m");
  // Without an alias the device goes by its element; the extension names its type.
  const auto bare = ParseMciCommand("open /a/tune.Midi");
  ASSERT_EQ(bare.error, platform::kMciOk);
  EXPECT_EQ(bare.command.deviceName, "/a/tune.Midi");
  EXPECT_EQ(ParseMciCommand("play \"my tune\"").command.deviceName, "my tune");
}

TEST(MciCommand, ReadsOnlyUpToTheFirstNul) {
  const std::string withNul("play mcitest\0 garbage", 21);
  const auto parsed = ParseMciCommand(withNul);
  ASSERT_EQ(parsed.error, platform::kMciOk);
  EXPECT_EQ(parsed.command.deviceName, "mcitest");
  EXPECT_EQ(ParseMciCommand(std::string("\0play m", 7)).error, err::kMissingCommandString);
}

}  // namespace
}  // namespace velmora::posix
