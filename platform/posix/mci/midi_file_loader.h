#pragma once
// Reads a MIDI file for playing: a regular file only, never a blocking open, and never a file whose
// playing would not fit in the memory the system has free; then checked and normalised.
//
// Setting from the environment:
//   VELMORA_MEMORY_AVAILABLE_MB  the memory free for playing, in MB, instead of MemAvailable in
//                                /proc/meminfo (to try the answer to a file too large)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/mci.h"

namespace velmora::posix {

// FluidSynth's player keeps each event of the file as a heap block of 48 bytes: 24 bytes per byte
// of file at worst (two-byte events), 16 for plain notes. The file's copies while it is read and
// parsed add 3 more.
inline constexpr std::int64_t kMemoryPerFileByte = 27;

// The normalised file, or nothing and the error code. fileBytes is the file's size once known.
std::optional<std::vector<std::uint8_t>> LoadMidiFile(const std::string& path,
                                                      platform::MciError& error,
                                                      std::int64_t& fileBytes);

}  // namespace velmora::posix
