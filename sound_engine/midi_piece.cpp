#include "sound_engine/midi_piece.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "sound_engine/mci_errors.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

// Beyond any time a piece can be played to, and far from overflowing what holds them.
constexpr std::uint64_t kFarBlock = std::uint64_t{1} << 42;
constexpr double kFarTicks = 1e18;

}  // namespace

std::uint64_t BlockMs(std::uint64_t block) {
  // As FluidSynth's sample timers count: the frames since their start, in ms, rounded down.
  return static_cast<std::uint64_t>(1000.0 * static_cast<double>(block * kFramesPerBlock) /
                                    kSampleRate);
}

std::uint64_t BlockAtMs(std::uint64_t ms) {
  auto block = static_cast<std::uint64_t>(static_cast<double>(ms) * kSampleRate /
                                          (1000.0 * kFramesPerBlock));
  while (block > 0 && BlockMs(block - 1) >= ms) --block;
  while (BlockMs(block) < ms) ++block;
  return block;
}

// ---- the piece ----

std::uint64_t MidiPiece::MemoryNeeded(const MidiFileLayout& layout) {
  // The bytes, and a cursor per track in the check and in the player.
  return layout.TrackBytes() +
         2 * layout.tracks.size() * (sizeof(MidiTrackReader) + 2 * sizeof(std::uint64_t));
}

std::optional<MidiPiece> MidiPiece::Read(const MidiFileLayout& layout, const ReadBytesAt& read,
                                         MciError& error) {
  MidiPiece piece;
  piece.division_ = layout.division;
  piece.size_ = layout.TrackBytes();
  if (piece.size_ > 0) {
    void* mapped =
        mmap(nullptr, piece.size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
      piece.size_ = 0;
      error = err::kOutOfMemory;
      return std::nullopt;
    }
    piece.bytes_ = static_cast<std::uint8_t*>(mapped);
  }
  piece.tracks_.reserve(layout.tracks.size());
  std::size_t at = 0;
  for (const MidiTrackChunk& chunk : layout.tracks) {
    const std::span<std::uint8_t> into(piece.bytes_ + at, chunk.length);
    const std::int64_t got = chunk.length == 0 ? 0 : read(chunk.offset, into);
    if (got != static_cast<std::int64_t>(chunk.length)) {
      error = got < 0 ? err::kFileRead : err::kInvalidFile;  // changed while it was read
      return std::nullopt;
    }
    piece.tracks_.push_back({into, chunk.cutByFileEnd, {}, {}, {}});
    at += chunk.length;
  }
  MidiPieceCursor check(piece.tracks_, piece.division_);
  MidiPieceCursor::Step step;
  while ((step = check.Next()) == MidiPieceCursor::Step::kEvent)
    piece.endMs_ = BlockMs(check.block());
  error = step == MidiPieceCursor::Step::kEnd ? platform::kMciOk : err::kInvalidFile;
  if (error != platform::kMciOk) return std::nullopt;
  return piece;
}

std::optional<MidiPiece> MidiPiece::FromFile(std::span<const std::uint8_t> file, MciError& error) {
  const ReadBytesAt read = [file](std::uint64_t offset, std::span<std::uint8_t> into) {
    if (offset >= file.size()) return std::int64_t{0};
    const std::size_t count = std::min<std::size_t>(into.size(), file.size() - offset);
    std::memcpy(into.data(), file.data() + offset, count);
    return static_cast<std::int64_t>(count);
  };
  MidiFileLayout layout;
  error = ReadMidiFileLayout(file.size(), read, layout);
  if (error != platform::kMciOk) return std::nullopt;
  return Read(layout, read, error);
}

MidiPiece::MidiPiece(MidiPiece&& other) noexcept
    : division_(other.division_),
      tracks_(std::move(other.tracks_)),
      bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      endMs_(other.endMs_) {}

MidiPiece::~MidiPiece() {
  if (bytes_) munmap(bytes_, size_);
}

// ---- the cursor ----

MidiPieceCursor::MidiPieceCursor(std::uint16_t division, std::size_t tracks) : clock_(division) {
  readers_.reserve(tracks);
  due_.reserve(tracks);
  end_.status = 0xFF;
  end_.metaType = 0x2F;
}

MidiPieceCursor::MidiPieceCursor(const MidiPiece& piece)
    : MidiPieceCursor(piece.division(), piece.tracks().size()) {
  for (const MidiTrack& track : piece.tracks()) readers_.emplace_back(track);
}

MidiPieceCursor::MidiPieceCursor(std::span<MidiTrack> preparing, std::uint16_t division)
    : MidiPieceCursor(division, preparing.size()) {
  for (MidiTrack& track : preparing) readers_.push_back(MidiTrackReader::Preparing(track));
}

bool MidiPieceCursor::Advance(std::size_t track) {
  switch (readers_[track].Next()) {
    case MidiTrackReader::Step::kEvent: {
      const Due due{readers_[track].event().tick, track};
      // Most often the same track goes on at once: then the heap is left as it is.
      if (!next_ && (due_.empty() || due < due_.front())) {
        next_ = due;
      } else {
        due_.push_back(due);
        std::push_heap(due_.begin(), due_.end(), std::greater<>());
      }
      return true;
    }
    case MidiTrackReader::Step::kEnd:
      endTick_ = std::max(endTick_, readers_[track].tick());
      return true;
    case MidiTrackReader::Step::kRefused: return false;
  }
  return false;
}

MidiPieceCursor::Step MidiPieceCursor::Next() {
  if (!started_) {
    started_ = true;
    for (std::size_t track = 0; track < readers_.size(); ++track)
      if (!Advance(track)) return Step::kRefused;
  }
  if (pending_ && !Advance(*std::exchange(pending_, std::nullopt))) return Step::kRefused;
  while (next_ || !due_.empty()) {
    std::size_t track = 0;
    if (next_) {
      track = std::exchange(next_, std::nullopt)->second;
    } else {
      std::pop_heap(due_.begin(), due_.end(), std::greater<>());
      track = due_.back().second;
      due_.pop_back();
    }
    event_ = &readers_[track].event();
    block_ = clock_.BlockOf(event_->tick);
    if (event_->status != 0xFF) {
      pending_ = track;
      return Step::kEvent;
    }
    const auto& tempo = event_->payload;  // the only meta event a track reader gives
    clock_.SetTempo(static_cast<std::uint32_t>(tempo[0] << 16 | tempo[1] << 8 | tempo[2]));
    if (!Advance(track)) return Step::kRefused;
  }
  if (ended_) return Step::kEnd;
  ended_ = true;
  end_.tick = endTick_;
  event_ = &end_;
  block_ = clock_.BlockOf(endTick_);
  return Step::kEvent;
}

std::int64_t MidiPieceCursor::Clock::TicksAt(std::uint64_t block) const {
  const double ticks = static_cast<double>(BlockMs(block) - startMs_) / tickMs_ + 0.5;
  return startTicks_ + static_cast<std::int64_t>(std::min(ticks, kFarTicks));
}

std::uint64_t MidiPieceCursor::Clock::BlockOf(std::uint64_t tick) {
  const auto target = static_cast<std::int64_t>(tick);
  if (target <= ticks_) return block_;
  // The first block after this one whose ticks reach the target: estimated, then stepped to.
  const double ms =
      static_cast<double>(startMs_) + (static_cast<double>(target - startTicks_) - 0.5) * tickMs_;
  const double estimate = ms * kSampleRate / (1000.0 * kFramesPerBlock);
  if (estimate >= kFarBlock) {  // centuries away: never played
    block_ = kFarBlock;
    ticks_ = target;
    return block_;
  }
  std::uint64_t block = std::max(block_ + 1, static_cast<std::uint64_t>(std::max(0.0, estimate)));
  while (block > block_ + 1 && TicksAt(block - 1) >= target) --block;
  while (TicksAt(block) < target) ++block;
  block_ = block;
  ticks_ = TicksAt(block);
  return block_;
}

MidiPieceCursor::Clock::Clock(std::uint16_t division) : division_(division) {
  timecode_ = (division & 0x8000) != 0;
  if (!timecode_) {
    SetTempo(500000);
    return;
  }
  const int framesPerSecond = -static_cast<std::int8_t>(division >> 8);
  const double frames = framesPerSecond == 29 ? 30000.0 / 1001.0 : framesPerSecond;
  tickMs_ = static_cast<float>(1000.0 / (frames * (division & 0xFF)));
}

void MidiPieceCursor::Clock::SetTempo(std::uint32_t microsecondsPerQuarter) {
  // A timecode's rate is fixed; a tempo of 0 the player would divide by.
  if (timecode_ || microsecondsPerQuarter == 0) return;
  tickMs_ = static_cast<float>(microsecondsPerQuarter) / static_cast<float>(division_) / 1000.0f;
  startMs_ = BlockMs(block_);
  startTicks_ = ticks_;
}

}  // namespace velmora::posix
