#pragma once
// Reads one track chunk of a Standard MIDI File event by event, in place, as leniently as the
// players users know:
// - running status survives meta and SysEx events;
// - a data byte with its top bit set is read as FluidSynth's command line plays it: a key,
//   velocity or value above 127 as 127, a controller or program number above 127 not at all, a
//   pitch bend as its two groups of seven bits;
// - a SysEx message split into an F0 packet and F7 continuation packets is given whole, at the
//   time of its last packet, assembled by the track's first reading (when the piece is opened) so
//   that the readings that play it copy nothing; a message longer than kLargestSysEx is dropped
//   whole, however it is split; an F7 packet on its own (an "escape") is given as a SysEx message
//   when it holds one whole (F0 ... F7) and dropped otherwise: what escapes carry in files is
//   real-time and song-position messages, which mean nothing to a synthesizer;
// - system messages that have no place in a file are dropped, their time kept;
// - a track cut short (by the end of the file, or an event running past its chunk) plays up to the
//   cut, where every note the track still holds is ended (found by the first reading too).
// So only the first reading allocates: the others can run on the sound output's thread.
// A track whose damage would change the music's timing is refused: a variable-length number beyond
// the format's 28 bits (longer than four bytes, and not just padded with leading zero groups), a
// tempo event of the wrong length, or data with no status before it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora::posix {

// The longest SysEx message kept, without its F0 and F7. A MIDI Tuning bulk dump, among the
// longest messages a synthesizer such as FluidSynth acts on, is about 400 bytes: a far longer one
// is nothing it understands, and would cost its size in memory.
inline constexpr std::size_t kLargestSysEx = 64 * 1024;

// A track chunk's events as the file holds them, and what its first reading keeps for the others.
struct MidiTrack {
  std::span<const std::uint8_t> events;
  bool cutByFileEnd = false;  // the chunk claims more bytes than the file holds
  // The SysEx messages split over packets, in the track's order: where each ends in sysExBytes
  // (an empty one is dropped).
  std::vector<std::uint8_t> sysExBytes;
  std::vector<std::uint32_t> sysExEnds;
  std::vector<std::array<std::uint8_t, 3>> releases;  // what ends the notes held at a cut
};

// A channel message with its status, a SysEx message (0xF0) or a meta event (0xFF), at its
// absolute time in ticks.
struct MidiEvent {
  std::uint64_t tick = 0;
  std::uint8_t status = 0;
  std::uint8_t metaType = 0;
  std::array<std::uint8_t, 2> data{};
  // A meta event's data, or a SysEx message without its F0 and its closing F7. Valid until the
  // reader moves on.
  std::span<const std::uint8_t> payload;
};

// Data bytes that follow a channel status.
inline std::size_t ChannelDataLength(std::uint8_t status) {
  return (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure carry one
}

class MidiTrackReader {
 public:
  enum class Step { kEvent, kEnd, kRefused };

  // Reads a track that its first reading has prepared.
  explicit MidiTrackReader(const MidiTrack& track)
      : MidiTrackReader(track, track.events.size(), track.cutByFileEnd) {}
  // The first reading: fills what `track` keeps for the others.
  static MidiTrackReader Preparing(MidiTrack& track);

  // Reads the next event into event(); at kEnd, tick() is where the track ends.
  Step Next();
  const MidiEvent& event() const { return event_; }
  std::uint64_t tick() const { return tick_; }

 private:
  MidiTrackReader(const MidiTrack& track, std::size_t length, bool cutByFileEnd)
      : track_(&track), in_(track.events.first(length)), cutByFileEnd_(cutByFileEnd) {}
  enum class Read { kOk, kCut, kTooLarge };
  enum class Outcome { kKept, kDropped, kEnd, kCut, kRefused };
  Outcome ReadEvent();
  Outcome ReadMeta();
  Outcome ReadSysEx(std::uint8_t status);
  void ReadContinuations();
  void Assemble(std::span<const std::uint8_t> part);
  std::span<const std::uint8_t> Assembled();
  Read Quantity(std::uint64_t& value);
  Read Bytes(std::uint64_t count, std::span<const std::uint8_t>& bytes);
  static Outcome Failed(Read read);
  std::vector<std::array<std::uint8_t, 3>> HeldBefore(std::size_t cut) const;

  const MidiTrack* track_;
  MidiTrack* preparing_ = nullptr;  // the first reading's
  std::span<const std::uint8_t> in_;
  bool cutByFileEnd_;
  std::size_t at_ = 0;
  std::uint64_t tick_ = 0;
  std::uint8_t runningStatus_ = 0;
  bool ended_ = false;
  MidiEvent event_;
  std::size_t assembledStart_ = 0;  // where the message being assembled starts in sysExBytes
  std::uint64_t assembledLength_ = 0;
  std::size_t nextSysEx_ = 0;                              // of the track's assembled messages
  std::span<const std::array<std::uint8_t, 3>> releases_;  // given after a cut
  std::size_t nextRelease_ = 0;
};

}  // namespace velmora::posix
