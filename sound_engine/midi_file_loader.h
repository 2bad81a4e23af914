#pragma once
// Reads a MIDI file for playing: a regular file only, never a blocking open; only the chunks that
// playing needs, and only when they fit in the memory free for them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/mci.h"
#include "sound_engine/midi_piece.h"

namespace velmora::posix {

// Bytes of memory free for a piece, or nothing when that cannot be known.
using MemoryProbe = std::function<std::optional<std::uint64_t>()>;

// What a piece refused for its size needed, and what was free.
struct MemoryShortfall {
  std::uint64_t needed = 0;
  std::optional<std::uint64_t> free;
};

// The piece, or nothing and the error code; with 264 (too large), what it needed and what was free.
std::optional<MidiPiece> LoadMidiPiece(const std::string& path, const MemoryProbe& freeMemory,
                                       platform::MciError& error, MemoryShortfall& shortfall);

}  // namespace velmora::posix
