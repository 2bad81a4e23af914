#pragma once
// Checks that bytes form a Standard MIDI File and rewrites them into the plain form that the
// synthesizer's file player reads without complaint: MThd then MTrk chunks only, every event with
// its status byte, no system messages that have no place in a file, every track closed by End of
// Track. Files that most players accept are kept playable: unknown chunks are skipped, running
// status survives meta and SysEx events, a track cut short by the end of the file plays up to the
// cut.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora::posix {

// Nothing when the bytes are not a Standard MIDI File this program can play.
std::optional<std::vector<std::uint8_t>> NormalizeStandardMidiFile(
    std::span<const std::uint8_t> file);

}  // namespace velmora::posix
