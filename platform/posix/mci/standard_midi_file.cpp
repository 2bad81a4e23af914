#include "platform/posix/mci/standard_midi_file.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

#include "platform/posix/mci/midi_track_reader.h"

namespace velmora::posix {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Input = std::span<const std::uint8_t>;

constexpr std::size_t kChunkHeader = 8;
constexpr std::uint64_t kLargestDelta = 0x0FFFFFFF;  // what a four-byte number holds

std::uint32_t ReadBigEndian(Input bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

std::uint32_t ReadLittleEndian32(Input bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = (value << 8) | bytes[at + i];
  return value;
}

void WriteBigEndian(Bytes& out, std::size_t at, std::uint32_t value, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    out[at + i] = static_cast<std::uint8_t>(value >> (8 * (count - 1 - i)));
}

bool HasId(Input bytes, std::size_t at, const char* id) {
  return std::memcmp(&bytes[at], id, 4) == 0;
}

// A RIFF MIDI file ("RIFF", size, "RMID", then chunks with little-endian sizes, each padded to an
// even length) holds the Standard MIDI File in its "data" chunk, beside LIST/INFO chunks. Any
// other file is given back as it is; a RIFF MIDI file without data gives nothing.
Input UnwrapRiffMidi(Input file) {
  if (file.size() < 12 || !HasId(file, 0, "RIFF") || !HasId(file, 8, "RMID")) return file;
  for (std::size_t at = 12; file.size() - at >= kChunkHeader;) {
    const bool isData = HasId(file, at, "data");
    const std::size_t size = ReadLittleEndian32(file, at + 4);
    at += kChunkHeader;
    const std::size_t length = std::min(size, file.size() - at);
    if (isData) return file.subspan(at, length);
    at += std::min(length + (length & 1), file.size() - at);
  }
  return {};
}

// Writes events in time order as the one track of a format 0 file, with running status between
// channel messages to keep the copy small.
class MergedTrackWriter {
 public:
  MergedTrackWriter(std::uint16_t division, std::size_t sizeHint) {
    out_.reserve(sizeHint + sizeHint / 8 + 64);
    out_.assign({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0, 'M', 'T', 'r', 'k', 0, 0, 0, 0});
    WriteBigEndian(out_, 12, division, 2);
  }

  // False when the time since the last event does not fit in a delta time.
  bool Write(const MidiEvent& event) {
    if (!WriteDelta(event.tick)) return false;
    if (event.status < 0xF0) {
      if (event.status != runningStatus_) out_.push_back(event.status);
      runningStatus_ = event.status;
      out_.insert(out_.end(), event.data.begin(),
                  event.data.begin() + ChannelDataLength(event.status));
      return true;
    }
    // The synthesizer's player keeps no running status across SysEx and meta events.
    runningStatus_ = 0;
    out_.push_back(event.status);
    if (event.status == 0xFF) out_.push_back(event.metaType);
    WriteQuantity(event.payload.size());
    out_.insert(out_.end(), event.payload.begin(), event.payload.end());
    return true;
  }

  std::optional<Bytes> Finish(std::uint64_t endTick) {
    if (!WriteDelta(endTick)) return std::nullopt;
    out_.insert(out_.end(), {0xFF, 0x2F, 0x00});
    constexpr std::size_t kTrackStart = 22;
    if (out_.size() - kTrackStart > 0xFFFFFFFF) return std::nullopt;
    WriteBigEndian(out_, kTrackStart - 4, static_cast<std::uint32_t>(out_.size() - kTrackStart), 4);
    return std::move(out_);
  }

 private:
  bool WriteDelta(std::uint64_t tick) {
    if (tick - lastTick_ > kLargestDelta) return false;
    WriteQuantity(tick - lastTick_);
    lastTick_ = tick;
    return true;
  }

  void WriteQuantity(std::uint64_t value) {
    std::uint8_t groups[4];
    std::size_t count = 0;
    do {
      groups[count++] = value & 0x7F;
      value >>= 7;
    } while (value != 0);
    while (count-- > 1) out_.push_back(groups[count] | 0x80);
    out_.push_back(groups[0]);
  }

  Bytes out_;
  std::uint64_t lastTick_ = 0;
  std::uint8_t runningStatus_ = 0;
};

// Merges the tracks by time into one, at equal times in track order, as the synthesizer's player
// sends them. Whatever the number of tracks, it keeps one event per track at hand.
std::optional<Bytes> MergeTracks(std::vector<MidiTrackReader>& tracks, std::uint16_t division,
                                 std::size_t sizeHint) {
  using Due = std::pair<std::uint64_t, std::size_t>;  // a track's next event time, and the track
  std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
  std::uint64_t endTick = 0;
  const auto advance = [&](std::size_t track) {
    switch (tracks[track].Next()) {
      case MidiTrackReader::Step::kEvent: due.emplace(tracks[track].event().tick, track); break;
      case MidiTrackReader::Step::kEnd: endTick = std::max(endTick, tracks[track].tick()); break;
      case MidiTrackReader::Step::kRefused: return false;
    }
    return true;
  };

  for (std::size_t track = 0; track < tracks.size(); ++track) {
    if (!advance(track)) return std::nullopt;
  }
  MergedTrackWriter writer(division, sizeHint);
  while (!due.empty()) {
    const std::size_t track = due.top().second;
    due.pop();
    if (!writer.Write(tracks[track].event()) || !advance(track)) return std::nullopt;
  }
  return writer.Finish(endTick);
}

}  // namespace

std::optional<Bytes> NormalizeStandardMidiFile(Input file) {
  file = UnwrapRiffMidi(file);
  if (file.size() < kChunkHeader + 6 || !HasId(file, 0, "MThd")) return std::nullopt;
  const std::uint32_t headerLength = ReadBigEndian(file, 4, 4);
  if (headerLength < 6 || headerLength > file.size() - kChunkHeader) return std::nullopt;
  const std::uint32_t format = ReadBigEndian(file, 8, 2);
  const std::uint32_t declaredTracks = ReadBigEndian(file, 10, 2);
  const std::uint32_t division = ReadBigEndian(file, 12, 2);
  // Timecode-based division is not something the synthesizer's player keeps time by.
  if (format > 2 || division == 0 || (division & 0x8000) != 0) return std::nullopt;

  // Tracks past the header's count are not part of the piece (a file may hold two copies of it).
  // A count of 0 is taken as damage: every track is played.
  const std::size_t wanted = declaredTracks == 0 ? 0xFFFF : declaredTracks;
  std::vector<MidiTrackReader> tracks;
  std::size_t at = kChunkHeader + headerLength;
  while (tracks.size() < wanted && file.size() - at >= kChunkHeader) {
    const bool isTrack = HasId(file, at, "MTrk");
    const std::size_t declared = ReadBigEndian(file, at + 4, 4);
    at += kChunkHeader;
    const std::size_t length = std::min(declared, file.size() - at);  // cut short at the file's end
    if (isTrack) tracks.emplace_back(file.subspan(at, length), declared > length);
    at += length;
  }
  if (tracks.empty()) return std::nullopt;
  return MergeTracks(tracks, static_cast<std::uint16_t>(division), file.size());
}

}  // namespace velmora::posix
