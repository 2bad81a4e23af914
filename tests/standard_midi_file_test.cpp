// The MIDI files of tests/standard_midi_files.txt as the Linux layer reads and plays them: what is
// refused, what each file sends and when, that unusual or damaged files send what the clean song
// sends, and how files sound rendered offline through the layer's own renderer; and the
// MIDI corpus's files that FluidSynth alone does not play.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <new>
#include <sstream>
#include <stdexcept>

#include "sound_engine/midi_piece.h"
#include "sound_engine/piece_renderer.h"
#include "sound_engine/synthesizer.h"

thread_local std::size_t allocations = 0;  // by operator new, on this thread

namespace velmora::posix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Pairs of hex digits; "7d*1000." is 7d a thousand times.
Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
    if (hex[at + 2] != '*') continue;
    const std::size_t end = hex.find('.', at);
    bytes.insert(bytes.end(), std::stoul(hex.substr(at + 3, end - at - 3)) - 1, bytes.back());
    at = end - 1;
  }
  return bytes;
}

std::optional<MidiPiece> Piece(const Bytes& file) {
  platform::MciError error = 0;
  return MidiPiece::FromFile(file, error);
}

// What the piece sends, in order: "MS:MESSAGE" in hex, "MS:end" for its end.
std::string Sent(const Bytes& file) {
  const auto piece = Piece(file);
  if (!piece) return "refused";
  MidiPieceCursor cursor(*piece);
  std::ostringstream sent;
  sent << std::hex;
  while (cursor.Next() == MidiPieceCursor::Step::kEvent) {
    const MidiEvent& event = cursor.event();
    sent << (sent.tellp() > 0 ? "," : "") << std::dec << BlockMs(cursor.block()) << ':' << std::hex;
    if (event.status == 0xFF) {
      sent << "end";
      continue;
    }
    Bytes message{event.status};
    if (event.status == 0xF0)
      message.insert(message.end(), event.payload.begin(), event.payload.end());
    else
      message.insert(message.end(), event.data.begin(),
                     event.data.begin() + ChannelDataLength(event.status));
    for (int byte : message) sent << (byte < 16 ? "0" : "") << byte;
  }
  return sent.str();
}

// The start of a piece as the layer plays it, rendered offline on a synthesizer of its own with
// the default SoundFont: the samples (stereo, interleaved), and the synthesizer as it was left.
// Playing allocates nothing (operator new counted: FluidSynth's own allocations are malloc's).
class OfflinePlay {
 public:
  OfflinePlay(const MidiPiece& piece, int frames)
      : settings_((KeepSoundFontLoaderStarted(), new_fluid_settings())),
        synth_(new_fluid_synth(settings_)) {
    fluid_synth_sfload(synth_, "/usr/share/sounds/sf2/default-GM.sf2", 1);
    PieceRenderer renderer(synth_, piece, {});
    renderer.Start();
    samples_.resize(std::size_t{2} * frames);
    const std::size_t before = allocations;
    renderer.Render(samples_.data(), frames);
    EXPECT_EQ(allocations, before) << "allocated while playing";
  }
  ~OfflinePlay() { delete_fluid_synth(synth_), delete_fluid_settings(settings_); }
  OfflinePlay(const OfflinePlay&) = delete;
  OfflinePlay& operator=(const OfflinePlay&) = delete;

  fluid_synth_t* synth() const { return synth_; }
  const std::vector<float>& samples() const { return samples_; }

 private:
  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  std::vector<float> samples_;
};

// Two seconds of the piece as the layer plays it: their level in dB, and the loudest sample from
// `quietFrom` seconds on.
std::pair<double, float> Render(const Bytes& file, double quietFrom) {
  const auto piece = Piece(file);
  if (!piece) return {-200, 0};
  const OfflinePlay played(*piece, 2 * 44100);
  const std::vector<float>& samples = played.samples();
  double energy = 0;
  float loudest = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    energy += samples[i] * samples[i];
    if (i >= quietFrom * 2 * 44100) loudest = std::max(loudest, std::fabs(samples[i]));
  }
  return {10 * std::log10(energy / samples.size() + 1e-20), loudest};
}

TEST(StandardMidiFile, RefusesSendsAndSoundsAsTheFilesSay) {
  std::ifstream cases(VELMORA_SOURCE_DIR "/tests/standard_midi_files.txt");
  int count = 0;
  for (std::string line, kind, file, other, name; std::getline(cases, line); ++count) {
    std::istringstream words(line);
    double quietFrom = 2;
    if (!(words >> kind) || kind[0] == '#') continue;
    words >> file;
    if (kind != "heard" && kind != "refused") words >> other;
    if (kind == "sounds") words >> quietFrom;
    std::getline(words >> std::ws, name);
    if (kind == "heard") {  // named in the MIDI corpus
      std::ifstream in(VELMORA_SOURCE_DIR "/tests/midi-corpus/" + file, std::ios::binary);
      EXPECT_GT(Render({std::istreambuf_iterator<char>(in), {}}, 2).first, -60) << file;
    } else if (kind == "refused") {
      EXPECT_EQ(Sent(FromHex(file)), "refused") << line.substr(0, 60);
    } else if (kind == "plays") {
      EXPECT_EQ(Sent(FromHex(file)), other) << name;
    } else if (kind == "same") {
      EXPECT_NE(Sent(FromHex(file)), "refused") << name;
      EXPECT_EQ(Sent(FromHex(file)), Sent(FromHex(other))) << name;
    } else if (kind == "sounds") {
      const auto [level, loudestWhenQuiet] = Render(FromHex(file), quietFrom);
      EXPECT_GT(level, -90) << name;  // heard
      EXPECT_NEAR(level, Render(FromHex(other), 2).first, 0.5) << name;
      EXPECT_LE(loudestWhenQuiet, 64 / 32768.0) << name;  // what a sound card plays as silence
    } else if (kind == "differs") {
      EXPECT_GT(std::fabs(Render(FromHex(file), 2).first - Render(FromHex(other), 2).first), 1)
          << name;
    } else {
      ADD_FAILURE() << "no such kind of line: " << kind;
    }
  }
  EXPECT_GT(count, 20);
}

// The channel messages reach the synthesizer with the values the file gives: its state after a
// tenth of a second of the piece, played as the layer plays it.
TEST(StandardMidiFile, ReachesTheSynthesizerWithTheFilesValues) {
  const auto piece =
      Piece(FromHex("4d546864000000060000000100604d54726b0000001b"
                    "00c10500b1076400e1114500e27f7f00e3000000e491c500ff2f00"));
  ASSERT_TRUE(piece);
  const OfflinePlay played(*piece, 4410);
  fluid_synth_t* synth = played.synth();
  const auto bend = [synth](int channel) {
    int value = -1;
    fluid_synth_get_pitch_bend(synth, channel, &value);
    return value;
  };
  int soundFont = 0, bank = 0, program = 0, volume = 0;
  fluid_synth_get_program(synth, 1, &soundFont, &bank, &program);
  fluid_synth_get_cc(synth, 1, 7, &volume);
  EXPECT_EQ(program, 5);
  EXPECT_EQ(volume, 100);
  EXPECT_EQ(bend(1), 0x45 << 7 | 0x11);  // the second byte the high seven bits
  EXPECT_EQ(bend(2), 16383);
  EXPECT_EQ(bend(3), 0);
  EXPECT_EQ(bend(4), 0x45 << 7 | 0x11);  // top bits of the data bytes left out
}

// The engine's renderer on its own: a piece comes to rest by itself, telling the program once, and
// what the program's handler throws stays out of the output's C callback (it would end the process
// there). A delta time beyond the clock's far limit (a tempo of 16.7 s a quarter, 2^28 ticks:
// years) ends the piece there instead of rendering silence for years.
TEST(PieceRenderer, ComesToRestOnceAtTheEndOrTheClocksFarLimit) {
  for (const char* track :
       {"00903c6460803c4000ff2f00", "00ff5103ffffff00903c64ffffff7f803c4000ff2f00"}) {
    std::ostringstream file;  // a header and one track
    file << "4d546864000000060000000100604d54726b" << std::hex << std::setw(8) << std::setfill('0')
         << std::strlen(track) / 2 << track;
    const auto piece = Piece(FromHex(file.str()));
    ASSERT_TRUE(piece) << track;
    OfflinePlay played(*piece, 0);
    int ended = 0;
    PieceRenderer renderer(played.synth(), *piece, [&ended] {
      ++ended;
      throw std::runtime_error("the program's handler");
    });
    renderer.Start();
    std::vector<float> block(2 * kFramesPerBlock);
    int blocks = 0;
    while (blocks < 10 * 44100 / kFramesPerBlock &&
           renderer.Render(block.data(), kFramesPerBlock) > 0)
      ++blocks;
    EXPECT_EQ(renderer.state(), PieceRenderer::State::kResting) << track;
    EXPECT_EQ(ended, 1) << track;
    EXPECT_EQ(renderer.Render(block.data(), kFramesPerBlock), 0u) << track;  // it stays at rest
  }
}

}  // namespace
}  // namespace velmora::posix

// Every form the deletes below may free is counted and taken from malloc: GoogleTest 1.15 (Debian
// 13) allocates with the nothrow form, which the sanitizer's own would pair with its own delete.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size) {
  if (void* memory = operator new(size, std::nothrow)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
