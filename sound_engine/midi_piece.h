#pragma once
// A piece as this layer plays it: the bytes of its track chunks as they are in the file (about the
// file's size, not an object per event), read by one cursor per track, merged by time and, at
// equal times, in track order. The cursor also keeps time as FluidSynth's file player does, so the
// piece sounds as `fluidsynth` plays the file: the player sends events once per block of 64 frames,
// those whose tick its clock has reached, rounded to the nearest tick (up to half a tick early),
// and a tempo change takes effect from the block that sends it. A tempo of 0 is ignored. A piece
// timed by timecode (SMPTE) plays at the fixed rate it names, frames a second times ticks a frame,
// whatever tempo its tracks name.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/mci.h"
#include "sound_engine/midi_track_reader.h"
#include "sound_engine/standard_midi_file.h"

namespace velmora::posix {

// The synthesizer's rate and the block by which FluidSynth runs its timers.
inline constexpr double kSampleRate = 44100;
inline constexpr int kFramesPerBlock = 64;
// When a block starts, in whole milliseconds as FluidSynth's timers count them from their start.
std::uint64_t BlockMs(std::uint64_t block);
// The block that starts at `ms`, or the first one after it.
std::uint64_t BlockAtMs(std::uint64_t ms);

class MidiPiece {
 public:
  // Reads the tracks that `layout` locates and checks the whole piece by reading it through once.
  // Nothing and the error code (296 damaged, 348 unreadable, 264 no memory for it) otherwise.
  static std::optional<MidiPiece> Read(const MidiFileLayout& layout, const ReadBytesAt& read,
                                       platform::MciError& error);
  // The same for a whole file in memory.
  static std::optional<MidiPiece> FromFile(std::span<const std::uint8_t> file,
                                           platform::MciError& error);
  // What a piece of this layout takes in memory to be checked and played.
  static std::uint64_t MemoryNeeded(const MidiFileLayout& layout);

  ~MidiPiece();
  MidiPiece(MidiPiece&& other) noexcept;
  MidiPiece& operator=(MidiPiece&&) = delete;
  MidiPiece(const MidiPiece&) = delete;

  std::uint16_t division() const { return division_; }
  std::span<const MidiTrack> tracks() const { return tracks_; }
  // When its last track ends, in ms after Play.
  std::uint64_t endMs() const { return endMs_; }

 private:
  MidiPiece() = default;
  std::uint16_t division_ = 0;
  std::vector<MidiTrack> tracks_;
  // The track bytes in a private mapping of their own: returned to the system when the piece is
  // freed, whatever the allocator would keep.
  std::uint8_t* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::uint64_t endMs_ = 0;
};

class MidiPieceCursor {
 public:
  enum class Step { kEvent, kEnd, kRefused };
  // Reads a piece that its first reading has checked and prepared: allocates nothing after this.
  explicit MidiPieceCursor(const MidiPiece& piece);

  // The next event in play order: a channel message or a SysEx message, and last the piece's end
  // (status 0xFF, meta type 0x2F) when its last track ends.
  Step Next();
  const MidiEvent& event() const { return *event_; }
  // The block, counted from Play, in which FluidSynth's file player would send it.
  std::uint64_t block() const { return block_; }

 private:
  // FluidSynth's file player's clock: ticks reached at each block.
  class Clock {
   public:
    explicit Clock(std::uint16_t division);
    std::uint64_t BlockOf(std::uint64_t tick);
    void SetTempo(std::uint32_t microsecondsPerQuarter);

   private:
    std::int64_t TicksAt(std::uint64_t block) const;
    std::uint16_t division_;
    bool timecode_ = false;
    float tickMs_ = 0;  // as the player keeps it
    std::uint64_t block_ = 0, startMs_ = 0;
    std::int64_t ticks_ = 0, startTicks_ = 0;
  };
  friend class MidiPiece;
  // The first reading, which prepares each track for the others.
  MidiPieceCursor(std::span<MidiTrack> preparing, std::uint16_t division);
  MidiPieceCursor(std::uint16_t division, std::size_t tracks);
  bool Advance(std::size_t track);

  std::vector<MidiTrackReader> readers_;
  using Due = std::pair<std::uint64_t, std::size_t>;  // a track's next event: (tick, track)
  std::vector<Due> due_;                              // a heap, least first
  std::optional<Due> next_;                           // before all of the heap
  std::optional<std::size_t> pending_;                // the track whose event was given last
  bool started_ = false, ended_ = false;
  std::uint64_t endTick_ = 0;
  Clock clock_;
  MidiEvent end_;
  const MidiEvent* event_ = &end_;
  std::uint64_t block_ = 0;
};

}  // namespace velmora::posix
