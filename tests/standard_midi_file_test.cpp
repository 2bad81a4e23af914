// The file check at open: what is refused as not a Standard MIDI File, and how damaged or unusual
// files are rewritten so that the synthesizer's player reads them.
#include <gtest/gtest.h>

#include "midi_fixtures.h"
#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {
namespace {

using testing::Chunk;
using testing::Header;
using testing::Join;
using testing::MidiBytes;

MidiBytes Track(const MidiBytes& events) { return Chunk("MTrk", events); }

// The events of the only track of a normalized file.
MidiBytes EventsOf(const MidiBytes& file) {
  EXPECT_GE(file.size(), 22u);
  return MidiBytes(file.begin() + 22, file.end());
}

TEST(StandardMidiFile, RefusesWhatIsNotAPlayableMidiFile) {
  const MidiBytes note{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
  const MidiBytes refused[] = {
      {},
      {'M', 'T', 'h', 'd'},
      MidiBytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96},
      Join({Header(0, 1)}),                                         // no track at all
      Join({Header(3, 1), Track(note)}),                            // no such format
      Join({Header(0, 1, 0), Track(note)}),                         // no time division
      Join({Header(0, 1, 0xE728), Track(note)}),                    // timecode division
      Join({Chunk("MThd", {0, 0, 0, 1}), Track(note)}),             // header too short
      Join({Header(0, 1), Track({0x00, 0x3C, 0x40})}),              // data with no status before it
      Join({Header(0, 1), Track({0x00, 0x90, 0x3C, 0x90, 0x40})}),  // status where data belongs
  };
  for (const auto& bytes : refused) {
    EXPECT_FALSE(NormalizeStandardMidiFile(bytes).has_value()) << "size " << bytes.size();
  }
}

TEST(StandardMidiFile, KeepsAWellFormedFileAsItIs) {
  const MidiBytes tune = testing::SmallTune();
  const auto normalized = NormalizeStandardMidiFile(tune);
  ASSERT_TRUE(normalized.has_value());
  EXPECT_EQ(*normalized, tune);
}

TEST(StandardMidiFile, SkipsChunksThatAreNotTracks) {
  const MidiBytes events = testing::ScaleTrackEvents();
  const MidiBytes file =
      Join({Header(1, 2), Chunk("Junk", {'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'}), Track(events)});
  const auto normalized = NormalizeStandardMidiFile(file);
  ASSERT_TRUE(normalized.has_value());
  EXPECT_EQ(*normalized, Join({Header(0, 1), Track(events)}));
}

TEST(StandardMidiFile, WritesRunningStatusOutAndKeepsItAcrossMetaAndSysEx) {
  const MidiBytes file =
      Join({Header(0, 1), Track({0x00, 0x90, 0x3C, 0x40,                          // note on
                                 0x10, 0x3E, 0x40,                                // running status
                                 0x00, 0xFF, 0x01, 0x01, 'x',  0x10, 0x40, 0x40,  // still running
                                 0x00, 0xF0, 0x01, 0xF7, 0x10, 0x41, 0x40,        // after SysEx too
                                 0x00, 0xFF, 0x2F, 0x00})});
  const auto normalized = NormalizeStandardMidiFile(file);
  ASSERT_TRUE(normalized.has_value());
  EXPECT_EQ(EventsOf(*normalized),
            (MidiBytes{0x00, 0x90, 0x3C, 0x40, 0x10, 0x90, 0x3E, 0x40, 0x00, 0xFF,
                       0x01, 0x01, 'x',  0x10, 0x90, 0x40, 0x40, 0x00, 0xF0, 0x01,
                       0xF7, 0x10, 0x90, 0x41, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(StandardMidiFile, DropsSystemMessagesButKeepsTheirTime) {
  // 0x50 ticks of song position (F2 two data bytes) then 0x7F0 ticks of undefined F4, then a note:
  // the note keeps its place at 0x50 + 0x7F0 = 0x840 ticks, written as 0x90 0x40.
  const MidiBytes file = Join({Header(0, 1), Track({0x50, 0xF2, 0x01, 0x02, 0x8F, 0x70, 0xF4, 0x00,
                                                    0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00})});
  const auto normalized = NormalizeStandardMidiFile(file);
  ASSERT_TRUE(normalized.has_value());
  EXPECT_EQ(EventsOf(*normalized),
            (MidiBytes{0x90, 0x40, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(StandardMidiFile, PlaysATrackCutShortUpToTheCut) {
  // The chunk claims more bytes than the file has, and its last event is cut in two.
  MidiBytes file = Join({Header(0, 1), Track({0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x40})});
  file.pop_back();
  const auto normalized = NormalizeStandardMidiFile(file);
  ASSERT_TRUE(normalized.has_value());
  EXPECT_EQ(EventsOf(*normalized), (MidiBytes{0x00, 0x90, 0x3C, 0x40, 0x60, 0xFF, 0x2F, 0x00}));
}

TEST(StandardMidiFile, IgnoresBytesAfterTheLastChunkAndEndsEveryTrack) {
  MidiBytes file = Join({Header(0, 1), Track({0x00, 0x90, 0x3C, 0x40})});
  file.push_back(0x00);  // one stray byte, too short to be a chunk
  const auto normalized = NormalizeStandardMidiFile(file);
  ASSERT_TRUE(normalized.has_value());
  EXPECT_EQ(EventsOf(*normalized), (MidiBytes{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
}

}  // namespace
}  // namespace velmora::posix
