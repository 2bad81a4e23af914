#pragma once
// Where the parts of a Standard MIDI File that playing needs lie: the time division and the track
// chunks up to the header's count, in a bare file or in the "data" chunk of RIFF MIDI. Only the
// headers are read; unknown chunks and whatever follows the last track are skipped, so a tune
// followed by padding costs only the tune. Tracks past the header's count are not part of the
// piece (a file may hold two copies of it); a count of 0 is taken as damage: every track is played.
// The chunks end at the first chunk id that is not four printable characters (padding, garbage).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/mci.h"

namespace velmora::posix {

struct MidiTrackChunk {
  std::uint64_t offset = 0;   // of the track's events in the file
  std::uint64_t length = 0;   // what the file holds of them
  bool cutByFileEnd = false;  // the chunk claims more bytes than the file holds
};

struct MidiFileLayout {
  // Ticks per quarter note, or with its top bit set a timecode: frames a second, negated, in the
  // high byte (-24, -25, -29 for 30000/1001, -30 as a rule) and ticks a frame in the low byte.
  std::uint16_t division = 0;
  std::vector<MidiTrackChunk> tracks;
  std::uint64_t TrackBytes() const;
};

// Fills `into` from `offset` on: the number of bytes read (fewer at the end of the file), or -1
// when the file cannot be read.
using ReadBytesAt = std::function<std::int64_t(std::uint64_t offset, std::span<std::uint8_t> into)>;

// kMciOk and the layout; the code of an invalid file (296) or one that cannot be read (348).
platform::MciError ReadMidiFileLayout(std::uint64_t fileSize, const ReadBytesAt& read,
                                      MidiFileLayout& layout);

}  // namespace velmora::posix
