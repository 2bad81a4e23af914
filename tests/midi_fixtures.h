#pragma once
// Small MIDI files built in the tests, and a private folder to put files in.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velmora::testing {

using MidiBytes = std::vector<std::uint8_t>;

inline MidiBytes Chunk(const char* id, const MidiBytes& body) {
  MidiBytes chunk(id, id + 4);
  const auto size = static_cast<std::uint32_t>(body.size());
  for (int shift : {24, 16, 8, 0}) chunk.push_back(static_cast<std::uint8_t>(size >> shift));
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

inline MidiBytes Header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division = 96) {
  return Chunk("MThd",
               {0, static_cast<std::uint8_t>(format), static_cast<std::uint8_t>(tracks >> 8),
                static_cast<std::uint8_t>(tracks), static_cast<std::uint8_t>(division >> 8),
                static_cast<std::uint8_t>(division)});
}

inline MidiBytes Join(std::initializer_list<MidiBytes> parts) {
  MidiBytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Piano, C major triad notes one after another, each a quarter note, loud.
inline MidiBytes ScaleTrackEvents() {
  MidiBytes events{0x00, 0xC0, 0x00};
  for (std::uint8_t note : {60, 64, 67, 72}) {
    events.insert(events.end(), {0x00, 0x90, note, 0x7F, 0x60, 0x80, note, 0x40});
  }
  events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
  return events;
}

inline MidiBytes SmallTune() { return Join({Header(0, 1), Chunk("MTrk", ScaleTrackEvents())}); }

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test.XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

  std::filesystem::path Write(const std::string& name, const MidiBytes& bytes) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace velmora::testing
