#include "platform/posix/mci/standard_midi_file.h"

#include <cstring>

namespace velmora::posix {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Input = std::span<const std::uint8_t>;

std::uint32_t ReadBigEndian(Input bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

void WriteBigEndian(Bytes& out, std::uint32_t value, std::size_t count) {
  for (std::size_t i = count; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void WriteQuantity(Bytes& out, std::uint32_t value) {
  std::uint8_t groups[5];
  std::size_t count = 0;
  do {
    groups[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count-- > 1) out.push_back(groups[count] | 0x80);
  out.push_back(groups[0]);
}

// Data bytes that follow a channel status (by its high nibble) or a system common status.
std::size_t DataLength(std::uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 1;
    case 0xF0: return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
    default: return 2;
  }
}

class TrackReader {
 public:
  explicit TrackReader(Input track) : in_(track) {}

  // False when the track is damaged beyond its end being cut short.
  bool CopyTo(Bytes& out) {
    std::uint32_t pendingDelta = 0;  // time of dropped events, carried to the next kept one
    std::uint8_t runningStatus = 0;
    while (at_ < in_.size()) {
      std::uint32_t delta = 0;
      if (!Quantity(delta)) break;
      if (at_ >= in_.size()) break;
      pendingDelta += delta;

      std::uint8_t status = in_[at_];
      if (status < 0x80) {
        if (runningStatus == 0) return false;  // data with no status before it
        status = runningStatus;
      } else {
        ++at_;
      }

      if (status == 0xFF) {
        if (at_ >= in_.size()) break;
        const std::uint8_t type = in_[at_++];
        std::uint32_t length = 0;
        if (!Quantity(length) || in_.size() - at_ < length) break;
        if (type == 0x2F) break;  // End of Track: written below, for every track
        WriteQuantity(out, pendingDelta);
        pendingDelta = 0;
        out.insert(out.end(), {0xFF, type});
        WriteQuantity(out, length);
        Append(out, length);
      } else if (status == 0xF0 || status == 0xF7) {
        std::uint32_t length = 0;
        if (!Quantity(length) || in_.size() - at_ < length) break;
        WriteQuantity(out, pendingDelta);
        pendingDelta = 0;
        out.push_back(status);
        WriteQuantity(out, length);
        Append(out, length);
      } else {
        const std::size_t length = DataLength(status);
        if (in_.size() - at_ < length) break;
        for (std::size_t i = 0; i < length; ++i) {
          if (in_[at_ + i] >= 0x80) return false;
        }
        if (status >= 0xF0) {
          at_ += length;  // a system common or real-time message: not meant for a file
          continue;
        }
        runningStatus = status;
        WriteQuantity(out, pendingDelta);
        pendingDelta = 0;
        out.push_back(status);
        Append(out, length);
      }
    }
    WriteQuantity(out, pendingDelta);
    out.insert(out.end(), {0xFF, 0x2F, 0x00});
    return true;
  }

 private:
  // A variable-length quantity: at most four bytes.
  bool Quantity(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (at_ >= in_.size()) return false;
      const std::uint8_t byte = in_[at_++];
      value = (value << 7) | (byte & 0x7F);
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }

  void Append(Bytes& out, std::size_t length) {
    out.insert(out.end(), in_.begin() + at_, in_.begin() + at_ + length);
    at_ += length;
  }

  Input in_;
  std::size_t at_ = 0;
};

bool HasId(Input bytes, std::size_t at, const char* id) {
  return std::memcmp(&bytes[at], id, 4) == 0;
}

}  // namespace

std::optional<Bytes> NormalizeStandardMidiFile(Input file) {
  constexpr std::size_t kChunkHeader = 8;
  if (file.size() < kChunkHeader + 6 || !HasId(file, 0, "MThd")) return std::nullopt;
  const std::uint32_t headerLength = ReadBigEndian(file, 4, 4);
  if (headerLength < 6 || headerLength > file.size() - kChunkHeader) return std::nullopt;
  const std::uint32_t format = ReadBigEndian(file, 8, 2);
  const std::uint32_t division = ReadBigEndian(file, 12, 2);
  // Timecode-based division is not something the synthesizer's player keeps time by.
  if (format > 2 || division == 0 || (division & 0x8000) != 0) return std::nullopt;

  Bytes tracks;
  std::uint32_t trackCount = 0;
  std::size_t at = kChunkHeader + headerLength;
  while (file.size() - at >= kChunkHeader) {
    const bool isTrack = HasId(file, at, "MTrk");
    const std::size_t declared = ReadBigEndian(file, at + 4, 4);
    at += kChunkHeader;
    const std::size_t length = std::min(declared, file.size() - at);  // cut short at the file's end
    if (isTrack) {
      Bytes track;
      if (!TrackReader(file.subspan(at, length)).CopyTo(track)) return std::nullopt;
      tracks.insert(tracks.end(), {'M', 'T', 'r', 'k'});
      WriteBigEndian(tracks, static_cast<std::uint32_t>(track.size()), 4);
      tracks.insert(tracks.end(), track.begin(), track.end());
      ++trackCount;
    }
    at += length;
  }
  if (trackCount == 0 || trackCount > 0xFFFF) return std::nullopt;

  Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
  WriteBigEndian(out, trackCount == 1 ? 0 : (format == 0 ? 1 : format), 2);
  WriteBigEndian(out, trackCount, 2);
  WriteBigEndian(out, division, 2);
  out.insert(out.end(), tracks.begin(), tracks.end());
  return out;
}

}  // namespace velmora::posix
