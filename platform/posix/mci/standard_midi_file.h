#pragma once
// Checks that bytes form a Standard MIDI File (bare, or wrapped in RIFF MIDI) and rewrites them
// into the plain form that the synthesizer's file player reads without complaint: one track
// (format 0) holding every track's events merged by time, as the player would send them, so that
// no track past its limit of tracks is lost; every event with its status; nothing the player would
// refuse the whole file for. Files that most players accept are kept playable: tracks past the
// header's count and unknown chunks are skipped, and damaged tracks are read as leniently as
// midi_track_reader.h says; a file whose tempo could come out wrong is refused instead.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora::posix {

// Nothing when the bytes are not a Standard MIDI File this program can play.
std::optional<std::vector<std::uint8_t>> NormalizeStandardMidiFile(
    std::span<const std::uint8_t> file);

}  // namespace velmora::posix
