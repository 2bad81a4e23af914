// The Standard MIDI File check at open, on the files of tests/standard_midi_files.txt: what is
// refused, that each unusual or damaged file is rewritten as the clean song it holds, and how
// rewritten files sound when FluidSynth plays them; and the MIDI corpus's files that FluidSynth
// alone does not play.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
    bytes.push_back(std::stoi(hex.substr(at, 2), nullptr, 16));
  return bytes;
}

Bytes Normalized(const Bytes& file) { return NormalizeStandardMidiFile(file).value_or(Bytes{}); }

// FluidSynth's player plays the rewritten file, without a sound output, for two seconds: their
// level in dB, and the loudest sample from `quietFrom` seconds on.
std::pair<double, float> Render(const Bytes& file, double quietFrom) {
  const Bytes midi = Normalized(file);
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_synth_sfload(synth, "/usr/share/sounds/sf2/default-GM.sf2", 1);
  fluid_player_t* player = new_fluid_player(synth);
  fluid_player_add_mem(player, midi.data(), midi.size());
  fluid_player_play(player);
  std::vector<float> samples(2 * 2 * 44100);
  fluid_synth_write_float(synth, 2 * 44100, samples.data(), 0, 2, samples.data(), 1, 2);
  delete_fluid_player(player), delete_fluid_synth(synth), delete_fluid_settings(settings);
  double energy = 0;
  float loudest = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    energy += samples[i] * samples[i];
    if (i >= quietFrom * 2 * 44100) loudest = std::max(loudest, std::fabs(samples[i]));
  }
  return {10 * std::log10(energy / samples.size() + 1e-20), loudest};
}

TEST(StandardMidiFile, RefusesRewritesAndSoundsAsTheFilesSay) {
  std::ifstream cases(VELMORA_SOURCE_DIR "/tests/standard_midi_files.txt");
  int count = 0;
  for (std::string line, kind, file, same, name; std::getline(cases, line); ++count) {
    std::istringstream words(line);
    double quietFrom = 2;
    if (!(words >> kind) || kind[0] == '#') continue;
    words >> file;
    if (kind == "same" || kind == "sounds") words >> same;
    if (kind == "sounds") words >> quietFrom;
    std::getline(words >> std::ws, name);
    if (kind == "heard") {  // named in the MIDI corpus
      std::ifstream in(VELMORA_SOURCE_DIR "/tests/midi-corpus/" + file, std::ios::binary);
      EXPECT_GT(Render({std::istreambuf_iterator<char>(in), {}}, 2).first, -60) << file;
    }
    if (kind == "refused") {
      EXPECT_FALSE(NormalizeStandardMidiFile(FromHex(file))) << line.substr(0, 60);
    } else if (kind == "same") {
      EXPECT_FALSE(Normalized(FromHex(file)).empty()) << name;
      EXPECT_EQ(Normalized(FromHex(file)), Normalized(FromHex(same))) << name;
    }
    if (kind != "sounds") continue;
    const auto [level, loudestWhenQuiet] = Render(FromHex(file), quietFrom);
    EXPECT_GT(level, -90) << name;  // heard
    EXPECT_NEAR(level, Render(FromHex(same), 2).first, 0.5) << name;
    EXPECT_LE(loudestWhenQuiet, 64 / 32768.0) << name;  // what a sound card plays as silence
  }
  EXPECT_GT(count, 20);
}

}  // namespace
}  // namespace velmora::posix
