// The damaged or unusual files of the shared MIDI test corpus that this layer accepts really sound
// once FluidSynth plays them, and the broken ones are refused. (Every corpus file through the
// program's window code: hostile_input_test.cpp.)
#include <fluidsynth.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {
namespace {

std::filesystem::path CorpusFolder() {
  return std::filesystem::path(VELMORA_SOURCE_DIR) / "../shared/midi-corpus";
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Plays normalized bytes through FluidSynth without a sound output and returns the loudest sample
// of the first `seconds` of music.
int LoudestSampleWhenPlayed(const std::vector<std::uint8_t>& midi, int seconds) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_synth_sfload(synth, "/usr/share/sounds/sf2/default-GM.sf2", 1);
  fluid_player_t* player = new_fluid_player(synth);
  fluid_player_add_mem(player, midi.data(), midi.size());
  fluid_player_play(player);
  std::vector<std::int16_t> block(2 * 1024);
  int loudest = 0;
  for (int rendered = 0; rendered < seconds * 44100; rendered += 1024) {
    fluid_synth_write_s16(synth, 1024, block.data(), 0, 2, block.data(), 1, 2);
    for (std::int16_t sample : block)
      loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
  }
  delete_fluid_player(player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return loudest;
}

class MidiCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(CorpusFolder())) {
      GTEST_SKIP() << "no MIDI corpus at " << CorpusFolder() << " (it lives beside the project)";
    }
    setenv("VELMORA_AUDIO_DRIVER", "file", 1);
    setenv("VELMORA_AUDIO_FILE", "/dev/null", 1);
  }
  void TearDown() override {
    unsetenv("VELMORA_AUDIO_DRIVER");
    unsetenv("VELMORA_AUDIO_FILE");
  }
};

TEST_F(MidiCorpus, FilesThatMostPlayersAcceptAreHeard) {
  // Each of these says "You must hear a C-Major scale"; FluidSynth alone plays none of them.
  for (const char* name : {"test-non-midi-track.mid", "test-running-status-metaevent.mid",
                           "test-running-status-sysex.mid", "test-corrupt-file-missing-byte.mid",
                           "test-illegal-message-all.mid", "test-illegal-message-f2-xx-xx.mid"}) {
    const auto bytes = ReadFile(CorpusFolder() / name);
    ASSERT_FALSE(bytes.empty()) << name;
    const auto midi = NormalizeStandardMidiFile(bytes);
    ASSERT_TRUE(midi.has_value()) << name;
    EXPECT_GT(LoudestSampleWhenPlayed(*midi, 3), 1000) << name;
  }
}

TEST_F(MidiCorpus, BrokenFilesAreRefused) {
  for (const char* name : {"test-empty-file.mid", "test-not-a-midi-file.mid"}) {
    EXPECT_FALSE(NormalizeStandardMidiFile(ReadFile(CorpusFolder() / name)).has_value()) << name;
  }
}

}  // namespace
}  // namespace velmora::posix
