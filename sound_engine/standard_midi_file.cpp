#include "sound_engine/standard_midi_file.h"

#include <array>
#include <cstring>

#include "sound_engine/mci_errors.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

constexpr std::uint64_t kChunkHeader = 8;

std::uint32_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

// Some ticks a quarter note, or a timecode with some ticks a frame: whatever its frame rate (24,
// 25, 29.97 and 30 are the usual ones), that is a rate to play at.
bool IsDivision(std::uint32_t division) {
  return (division & ((division & 0x8000) != 0 ? 0xFF : 0xFFFF)) != 0;
}

bool HasId(const std::uint8_t* bytes, const char* id) { return std::memcmp(bytes, id, 4) == 0; }

bool IsChunkId(const std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i)
    if (bytes[i] < 0x20 || bytes[i] > 0x7E) return false;
  return true;
}

// The bytes of [begin, end) of the file that `read` gives.
class Window {
 public:
  Window(const ReadBytesAt& read, std::uint64_t begin, std::uint64_t end)
      : read_(&read), begin_(begin), end_(end) {}
  std::uint64_t size() const { return end_ - begin_; }
  // Reads `into` whole from `at`: kMciOk, or the file's error, or kInvalidFile when it ends first.
  MciError Read(std::uint64_t at, std::span<std::uint8_t> into) const {
    if (at > size() || size() - at < into.size()) return err::kInvalidFile;
    const std::int64_t got = (*read_)(begin_ + at, into);
    if (got < 0) return err::kFileRead;
    return static_cast<std::uint64_t>(got) == into.size() ? platform::kMciOk : err::kInvalidFile;
  }
  std::uint64_t InFile(std::uint64_t at) const { return begin_ + at; }
  Window Sub(std::uint64_t at, std::uint64_t length) const {
    return {*read_, begin_ + at, begin_ + at + length};
  }

 private:
  const ReadBytesAt* read_;
  std::uint64_t begin_, end_;
};

// A RIFF MIDI file ("RIFF", size, "RMID", then chunks with little-endian sizes, each padded to an
// even length) holds the Standard MIDI File in its "data" chunk, beside LIST/INFO chunks. Any
// other file is given back as it is.
MciError UnwrapRiffMidi(Window& file) {
  std::array<std::uint8_t, 12> riff{};
  if (file.Read(0, riff) != platform::kMciOk || !HasId(&riff[0], "RIFF") ||
      !HasId(&riff[8], "RMID"))
    return platform::kMciOk;
  for (std::uint64_t at = 12; file.size() - at >= kChunkHeader;) {
    std::array<std::uint8_t, kChunkHeader> header{};
    if (const MciError error = file.Read(at, header)) return error;
    const std::uint64_t size = LittleEndian32(&header[4]);
    at += kChunkHeader;
    const std::uint64_t length = std::min(size, file.size() - at);
    if (HasId(&header[0], "data")) {
      file = file.Sub(at, length);
      return platform::kMciOk;
    }
    at += std::min(length + (length & 1), file.size() - at);
  }
  return err::kInvalidFile;  // RIFF MIDI without data
}

}  // namespace

std::uint64_t MidiFileLayout::TrackBytes() const {
  std::uint64_t bytes = 0;
  for (const MidiTrackChunk& track : tracks) bytes += track.length;
  return bytes;
}

MciError ReadMidiFileLayout(std::uint64_t fileSize, const ReadBytesAt& read,
                            MidiFileLayout& layout) {
  Window file(read, 0, fileSize);
  if (const MciError error = UnwrapRiffMidi(file)) return error;
  std::array<std::uint8_t, kChunkHeader + 6> header{};
  if (const MciError error = file.Read(0, header)) return error;
  const std::uint64_t headerLength = BigEndian(&header[4], 4);
  if (!HasId(&header[0], "MThd") || headerLength < 6 || headerLength > file.size() - kChunkHeader)
    return err::kInvalidFile;
  const std::uint32_t format = BigEndian(&header[8], 2);
  const std::uint32_t declaredTracks = BigEndian(&header[10], 2);
  const std::uint32_t division = BigEndian(&header[12], 2);
  if (format > 2 || !IsDivision(division)) return err::kInvalidFile;

  layout = MidiFileLayout{static_cast<std::uint16_t>(division), {}};
  const std::size_t wanted = declaredTracks == 0 ? 0xFFFF : declaredTracks;
  std::uint64_t at = kChunkHeader + headerLength;
  while (layout.tracks.size() < wanted && file.size() - at >= kChunkHeader) {
    std::array<std::uint8_t, kChunkHeader> chunk{};
    if (const MciError error = file.Read(at, chunk)) return error;
    if (!IsChunkId(&chunk[0])) break;
    const std::uint64_t declared = BigEndian(&chunk[4], 4);
    at += kChunkHeader;
    const std::uint64_t length = std::min(declared, file.size() - at);  // cut at the file's end
    if (HasId(&chunk[0], "MTrk"))
      layout.tracks.push_back({file.InFile(at), length, declared > length});
    at += length;
  }
  return layout.tracks.empty() ? err::kInvalidFile : platform::kMciOk;
}

}  // namespace velmora::posix
