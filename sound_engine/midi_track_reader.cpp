#include "sound_engine/midi_track_reader.h"

#include <algorithm>
#include <bitset>

namespace velmora::posix {

namespace {

constexpr std::uint64_t kLargestQuantity = 0x0FFFFFFF;  // four groups of seven bits

// The notes a track holds and the channels whose sustain pedal it holds down.
class HeldNotes {
 public:
  void Apply(const MidiEvent& event) {
    const unsigned channel = event.status & 0x0F;
    const std::size_t note = channel * 128 + event.data[0];
    switch (event.status & 0xF0) {
      case 0x80: notes_[note] = false; break;
      case 0x90: notes_[note] = event.data[1] != 0; break;
      case 0xB0:
        if (event.data[0] == 64) pedals_[channel] = event.data[1] >= 64;
        break;
      default: break;
    }
  }

  // On each channel where something is held: note-offs, the pedal up, then All Sound Off, so that
  // the cut ends in silence at once rather than after each instrument's release.
  std::vector<std::array<std::uint8_t, 3>> Releases() const {
    std::vector<std::array<std::uint8_t, 3>> releases;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
      bool held = pedals_[channel];
      for (std::uint8_t key = 0; key < 128; ++key) {
        if (!notes_[channel * 128 + key]) continue;
        releases.push_back({static_cast<std::uint8_t>(0x80 | channel), key, 0x40});
        held = true;
      }
      if (!held) continue;
      const auto control = static_cast<std::uint8_t>(0xB0 | channel);
      if (pedals_[channel]) releases.push_back({control, 64, 0});
      releases.push_back({control, 120, 0});
    }
    return releases;
  }

 private:
  std::bitset<std::size_t{16} * 128> notes_;
  std::bitset<16> pedals_;
};

// Data bytes after a system common status; the rest carry none.
std::size_t SystemDataLength(std::uint8_t status) {
  return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
}

}  // namespace

MidiTrackReader MidiTrackReader::Preparing(MidiTrack& track) {
  track.sysExBytes.clear();
  track.sysExEnds.clear();
  track.releases.clear();
  MidiTrackReader reader(track);
  reader.preparing_ = &track;
  return reader;
}

MidiTrackReader::Step MidiTrackReader::Next() {
  while (!ended_) {
    const std::size_t eventStart = at_;
    switch (ReadEvent()) {
      case Outcome::kKept: return Step::kEvent;
      case Outcome::kDropped: break;
      case Outcome::kEnd: ended_ = true; break;
      case Outcome::kCut:
        ended_ = true;
        if (preparing_) preparing_->releases = HeldBefore(eventStart);
        releases_ = track_->releases;
        break;
      case Outcome::kRefused: return Step::kRefused;
    }
  }
  if (nextRelease_ == releases_.size()) return Step::kEnd;
  const auto& release = releases_[nextRelease_++];
  event_ = MidiEvent{tick_, release[0], 0, {release[1], release[2]}, {}};
  return Step::kEvent;
}

std::vector<std::array<std::uint8_t, 3>> MidiTrackReader::HeldBefore(std::size_t cut) const {
  // Read again up to the cut: keeping the state of every track while merging would cost more.
  HeldNotes held;
  MidiTrackReader before(*track_, cut, false);
  while (before.Next() == Step::kEvent) held.Apply(before.event());
  return held.Releases();
}

MidiTrackReader::Outcome MidiTrackReader::ReadEvent() {
  if (at_ == in_.size()) return cutByFileEnd_ ? Outcome::kCut : Outcome::kEnd;
  std::uint64_t delta = 0;
  if (const Read read = Quantity(delta); read != Read::kOk) return Failed(read);
  tick_ += delta;
  if (at_ == in_.size()) return Outcome::kCut;

  std::uint8_t status = in_[at_];
  if (status < 0x80) {
    if (runningStatus_ == 0) return Outcome::kRefused;  // data with no status before it
    status = runningStatus_;
  } else {
    ++at_;
  }
  event_ = MidiEvent{tick_, status, 0, {}, {}};
  if (status == 0xFF) return ReadMeta();
  if (status == 0xF0 || status == 0xF7) return ReadSysEx(status);
  std::span<const std::uint8_t> data;
  if (status > 0xF0) {  // a system common or real-time message: not meant for a file
    return Bytes(SystemDataLength(status), data) == Read::kOk ? Outcome::kDropped : Outcome::kCut;
  }
  runningStatus_ = status;
  if (Bytes(ChannelDataLength(status), data) != Read::kOk) return Outcome::kCut;
  event_.data = {data[0], data.size() > 1 ? data[1] : std::uint8_t{0}};
  switch (status & 0xF0) {
    case 0xB0:
    case 0xC0:  // a controller or program number out of range: the message is ignored
      if (event_.data[0] > 0x7F) return Outcome::kDropped;
      break;
    case 0xE0:  // two groups of seven bits
      event_.data = {static_cast<std::uint8_t>(data[0] & 0x7F),
                     static_cast<std::uint8_t>(data[1] & 0x7F)};
      return Outcome::kKept;
    default: break;
  }
  for (std::uint8_t& byte : event_.data) byte = std::min<std::uint8_t>(byte, 0x7F);
  return Outcome::kKept;
}

MidiTrackReader::Outcome MidiTrackReader::ReadSysEx(std::uint8_t status) {
  std::uint64_t length = 0;
  if (const Read read = Quantity(length); read != Read::kOk) return Failed(read);
  std::span<const std::uint8_t> packet;
  if (Bytes(length, packet) != Read::kOk) return Outcome::kCut;
  const bool closed = !packet.empty() && packet.back() == 0xF7;
  event_.status = 0xF0;
  if (status == 0xF7) {  // an escape: continuation packets are read with the F0 they continue
    if (packet.size() < 2 || packet.front() != 0xF0 || !closed) return Outcome::kDropped;
    event_.payload = packet.subspan(1, packet.size() - 2);
  } else {
    event_.payload = closed ? packet.first(packet.size() - 1) : packet;
    if (!closed) ReadContinuations();
  }
  const bool kept = !event_.payload.empty() && event_.payload.size() <= kLargestSysEx;
  return kept ? Outcome::kKept : Outcome::kDropped;
}

// An F0 packet without its closing F7 is continued by the F7 packets right after it, up to the
// one that closes the message. Without any, it stands as it is, as FluidSynth's reader sends it.
void MidiTrackReader::ReadContinuations() {
  const std::span<const std::uint8_t> first = event_.payload;
  bool continued = false;
  for (bool open = true; open;) {
    const std::size_t packetStart = at_;
    std::uint64_t delta = 0, length = 0;
    std::span<const std::uint8_t> packet;
    if (Quantity(delta) != Read::kOk || at_ == in_.size() || in_[at_++] != 0xF7 ||
        Quantity(length) != Read::kOk || Bytes(length, packet) != Read::kOk) {
      at_ = packetStart;  // not a continuation: read as what it is
      break;
    }
    if (!continued) Assemble(first);
    continued = true;
    tick_ += delta;
    open = packet.empty() || packet.back() != 0xF7;
    Assemble(packet.first(packet.size() - (open ? 0 : 1)));
  }
  if (!continued) return;
  event_.tick = tick_;
  event_.payload = Assembled();
}

// The first reading keeps a part of the message it assembles, up to the bound.
void MidiTrackReader::Assemble(std::span<const std::uint8_t> part) {
  if (!preparing_) return;
  std::vector<std::uint8_t>& bytes = preparing_->sysExBytes;
  assembledLength_ += part.size();
  if (assembledLength_ <= kLargestSysEx) bytes.insert(bytes.end(), part.begin(), part.end());
}

// The message just read whole: the first reading keeps it, or nothing of it beyond the bound
// (dropped whole, never cut into a different message); the others find it where it was kept.
std::span<const std::uint8_t> MidiTrackReader::Assembled() {
  if (preparing_) {
    std::vector<std::uint8_t>& bytes = preparing_->sysExBytes;
    if (assembledLength_ > kLargestSysEx) bytes.resize(assembledStart_);
    preparing_->sysExEnds.push_back(static_cast<std::uint32_t>(bytes.size()));
    assembledStart_ = bytes.size();
    assembledLength_ = 0;
  }
  const std::vector<std::uint32_t>& ends = track_->sysExEnds;
  if (nextSysEx_ == ends.size()) return {};
  const std::size_t begin = nextSysEx_ == 0 ? 0 : ends[nextSysEx_ - 1];
  const std::size_t end = ends[nextSysEx_++];
  return std::span(track_->sysExBytes).subspan(begin, end - begin);
}

MidiTrackReader::Outcome MidiTrackReader::ReadMeta() {
  std::span<const std::uint8_t> type;
  if (Bytes(1, type) != Read::kOk) return Outcome::kCut;
  event_.metaType = type[0];
  std::uint64_t length = 0;
  if (const Read read = Quantity(length); read != Read::kOk) return Failed(read);
  if (Bytes(length, event_.payload) != Read::kOk) return Outcome::kCut;
  // Of the other meta events only a tempo changes what is heard; at a wrong length the piece
  // would play at a wrong speed.
  switch (event_.metaType) {
    case 0x2F: return Outcome::kEnd;
    case 0x51: return length == 3 ? Outcome::kKept : Outcome::kRefused;
    default: return Outcome::kDropped;
  }
}

// A variable-length number. Leading zero groups add nothing, so a number padded beyond four bytes
// is still read exactly; one beyond the format's 28 bits is damage that nothing can undo.
MidiTrackReader::Read MidiTrackReader::Quantity(std::uint64_t& value) {
  value = 0;
  while (at_ < in_.size()) {
    const std::uint8_t byte = in_[at_++];
    value = (value << 7) | (byte & 0x7F);
    if (value > kLargestQuantity) return Read::kTooLarge;
    if ((byte & 0x80) == 0) return Read::kOk;
  }
  return Read::kCut;
}

MidiTrackReader::Read MidiTrackReader::Bytes(std::uint64_t count,
                                             std::span<const std::uint8_t>& bytes) {
  if (in_.size() - at_ < count) return Read::kCut;
  bytes = in_.subspan(at_, count);
  at_ += count;
  return Read::kOk;
}

MidiTrackReader::Outcome MidiTrackReader::Failed(Read read) {
  return read == Read::kCut ? Outcome::kCut : Outcome::kRefused;
}

}  // namespace velmora::posix
