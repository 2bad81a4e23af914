// Renders a MIDI file offline the way Velmora's Linux layer plays it: the piece read by the layer's
// reader and played through the layer's own renderer on a synthesizer at 44.1 kHz with the
// given SoundFont, until it has ended and its last voice has faded, and 2 s more (as FluidSynth's
// player waits for the reverb). Or reads a WAV file that the fluidsynth command line rendered.
// Prints the length of the rendering, the time of the last sound and the level up to it:
//   midi_render SOUNDFONT FILE [SECONDS]  ->  "LENGTH_S LAST_SOUND_S LEVEL_DB", or "refused"
//   midi_render --wav FILE.wav            ->  the same figures for the recording (16-bit PCM; one
//                                             whose writer was stopped is read to its end)
#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound_engine/midi_piece.h"
#include "sound_engine/piece_renderer.h"

namespace {

constexpr double kRate = 44100;
constexpr float kSilence = 0.001f;     // -60 dBFS
constexpr double kLongest = 4 * 3600;  // seconds: a note held forever keeps the player going

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Takes interleaved stereo samples in [-1, 1] as they come, hours of them if need be.
class Figures {
 public:
  void Add(float sample) {
    energy_ += double{sample} * sample;
    if (std::fabs(sample) > kSilence) {
      last_ = count_ + 1;
      energyToLast_ = energy_;
    }
    ++count_;
  }
  std::size_t count() const { return count_; }
  void Print() const {
    const double level =
        last_ == 0 ? -200 : 10 * std::log10(energyToLast_ / static_cast<double>(last_));
    std::printf("%.3f %.3f %.2f\n", count_ / (2 * kRate), last_ / (2 * kRate), level);
  }

 private:
  std::size_t count_ = 0, last_ = 0;
  double energy_ = 0, energyToLast_ = 0;
};

void RenderAsTheLayerPlays(const char* soundFont, const velmora::posix::MidiPiece& piece,
                           double seconds) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_synth_sfload(synth, soundFont, 1);
  velmora::posix::PieceRenderer renderer(synth, piece, {});
  renderer.Start();
  Figures figures;
  constexpr int kBlock = 64;  // the synthesizer's own block, as the command line renders
  float block[2 * kBlock];
  for (long grace = 2 * static_cast<long>(kRate) / kBlock;
       grace > 0 && figures.count() < 2 * seconds * kRate;) {
    // The renderer to the piece's rest, then the synthesizer alone for the grace period.
    if (renderer.Render(block, kBlock) == 0)
      fluid_synth_write_float(synth, kBlock, block, 0, 2, block, 1, 2);
    // As the command line writes its WAV file (16 bits, rounded down), so both are measured alike.
    for (float sample : block)
      figures.Add(std::clamp(std::floor(sample * 32768), -32768.0f, 32767.0f) / 32768);
    if (renderer.state() == velmora::posix::PieceRenderer::State::kResting &&
        fluid_synth_get_active_voice_count(synth) == 0)
      --grace;
  }
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  figures.Print();
}

// The "data" chunk of a 16-bit PCM WAV file.
void ReadWav(const char* path) {
  const auto bytes = ReadFile(path);
  Figures figures;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    std::uint32_t size = 0;
    std::memcpy(&size, &bytes[at + 4], 4);
    if (std::memcmp(&bytes[at], "data", 4) == 0) {
      if (size == 0 || size > bytes.size() - at - 8) size = bytes.size() - at - 8;
      for (std::size_t i = at + 8; i + 1 < bytes.size() && i < at + 8 + size; i += 2) {
        std::int16_t sample = 0;
        std::memcpy(&sample, &bytes[i], 2);
        figures.Add(sample / 32768.0f);
      }
      break;
    }
    at += 8 + size + (size & 1);
  }
  figures.Print();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s SOUNDFONT FILE [SECONDS] | --wav FILE.wav\n", argv[0]);
    return 2;
  }
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
    fluid_set_log_function(level, nullptr, nullptr);
  if (std::strcmp(argv[1], "--wav") == 0) {
    ReadWav(argv[2]);
    return 0;
  }
  velmora::platform::MciError error = 0;
  const auto piece = velmora::posix::MidiPiece::FromFile(ReadFile(argv[2]), error);
  if (!piece) {
    std::printf("refused\n");
    return 0;
  }
  RenderAsTheLayerPlays(argv[1], *piece, argc == 4 ? std::atof(argv[3]) : kLongest);
  return 0;
}
