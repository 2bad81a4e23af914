// The Standard MIDI File check at open: what is refused, that each unusual or damaged file is
// rewritten as the clean song it holds, and how rewritten files sound when FluidSynth plays them.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
Bytes Chunk(const char* id, const Bytes& body, bool riff = false) {
  const auto n = static_cast<std::uint32_t>(body.size());
  Bytes size{std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
  if (riff) std::reverse(size.begin(), size.end());  // RIFF: little-endian, padded to even
  return Join({Bytes(id, id + 4), size, body, Bytes(riff ? n % 2 : 0, 0)});
}
Bytes Header(int format, int tracks) {
  return Chunk("MThd",
               {0, std::uint8_t(format), std::uint8_t(tracks >> 8), std::uint8_t(tracks), 0, 96});
}
Bytes Song(const Bytes& events) { return Join({Header(0, 1), Chunk("MTrk", events)}); }
Bytes Normalized(const Bytes& file) { return NormalizeStandardMidiFile(file).value_or(Bytes{}); }

// Piano: C, E, G and C a quarter note each.
const Bytes kScale{0x00, 0xC0, 0x00, 0x00, 0x90, 60,   0x7F, 0x60, 0x80, 60,   0x40, 0x00, 0x90,
                   64,   0x7F, 0x60, 0x80, 64,   0x40, 0x00, 0x90, 67,   0x7F, 0x60, 0x80, 67,
                   0x40, 0x00, 0x90, 72,   0x7F, 0x60, 0x80, 72,   0x40, 0x00, 0xFF, 0x2F, 0x00};
const Bytes kTune = Song(kScale), kEnd{0x00, 0xFF, 0x2F, 0x00};
const Bytes kList =
    Chunk("LIST", Join({{'I', 'N', 'F', 'O'}, Chunk("INAM", {'a', 'b', 'c'}, true)}), true);
const Bytes kRmid{'R', 'M', 'I', 'D'};
// A piano chord held for 96 ticks (0.5 s), the file cut inside its first note-off.
const Bytes kChord = Song({0x00, 0x90, 60, 100, 0x00, 64, 100, 0x00, 67, 100, 0x60, 0x80, 60, 0x40,
                           0x00, 0xFF, 0x2F, 0x00});
const Bytes kCutChord(kChord.begin(), kChord.end() - 5);

// `count` tracks; from `firstSounding` on, track i holds key 36 + i % 64 on channel i / 64 from
// tick i % 2 for 96 ticks. `merged`: the same notes in one track, in the order FluidSynth's player
// sends them: by time, then by track.
Bytes ManyTracks(int count, int firstSounding, bool merged) {
  const auto note = [](int i, int tick) -> Bytes {
    return {std::uint8_t((tick < 96 ? 0x90 : 0x80) | i / 64), std::uint8_t(36 + i % 64), 64};
  };
  Bytes file = Header(1, count), events;
  for (int i = 0; i < count && !merged; ++i)
    file = Join(
        {file,
         Chunk("MTrk", i < firstSounding
                           ? kEnd
                           : Join({{std::uint8_t(i % 2)}, note(i, 0), {96}, note(i, 96), kEnd}))});
  int last = 0;
  for (int tick : {0, 1, 96, 97})
    for (int i = firstSounding + (firstSounding + tick) % 2; i < count && merged;
         i += 2, last = tick)
      events = Join({events, {std::uint8_t(tick - last)}, note(i, tick)});
  return merged ? Song(Join({events, kEnd})) : file;
}

TEST(StandardMidiFile, RefusesWhatIsNotAPlayableMidiFile) {
  const Bytes note{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
  const Bytes refused[] = {
      {},
      {'M', 'T', 'h', 'd'},
      Chunk("RIFF", Join({kRmid, kList}), true),                       // RIFF MIDI without data
      Header(0, 1),                                                    // no track at all
      Join({Header(3, 1), Chunk("MTrk", note)}),                       // no such format
      Join({Chunk("MThd", {0, 0, 0, 1, 0, 0}), Chunk("MTrk", note)}),  // no time division
      Join({Chunk("MThd", {0, 0, 0, 1, 0xE7, 0x28}), Chunk("MTrk", note)}),  // timecode division
      Join({Chunk("MThd", {0, 0, 0, 1}), Chunk("MTrk", note)}),              // header too short
      Song({0x00, 0x3C, 0x40}),                                              // data with no status
      Song({0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),  // beyond 28 bits
      Song({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}),  // a tempo of the wrong length
  };
  for (const auto& bytes : refused) EXPECT_FALSE(NormalizeStandardMidiFile(bytes)) << bytes.size();
}

// A file, and one that plays the same; for rendering, from when on it is silent.
struct Case {
  const char* name;
  Bytes file, same;
  double silentFrom = 2;
};

TEST(StandardMidiFile, RewritesEachFileAsTheCleanSongItHolds) {
  EXPECT_EQ(Normalized(kTune), kTune) << "a well-formed file stays as it is";
  const Case cases[] = {
      {"an unknown chunk", Join({Header(1, 2), Chunk("Junk", {1, 2, 3}), Chunk("MTrk", kScale)}),
       kTune},
      {"running status across meta and SysEx",
       Song({0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40, 0x00, 0xFF, 0x01, 0x01, 'x',  0x10,
             0x40, 0x40, 0x00, 0xF0, 0x01, 0xF7, 0x10, 0x41, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
       Song({0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40, 0x00, 0xFF, 0x01, 0x01, 'x',  0x10, 0x90,
             0x40, 0x40, 0x00, 0xF0, 0x01, 0xF7, 0x10, 0x90, 0x41, 0x40, 0x00, 0xFF, 0x2F, 0x00})},
      {"system messages and a SysEx continuation",
       Song({0x50, 0xF2, 0x01, 0x02, 0x8F, 0x70, 0xF4, 0x00, 0xF7, 0x01, 0x05, 0x00, 0x90, 0x3C,
             0x40, 0x00, 0xFF, 0x2F, 0x00}),
       Song({0x90, 0x40, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00})},
      {"data bytes out of range: velocity 0xCC, a note-off's 0xFF, a bend's 0xFF",
       Song({0x00, 0x90, 0x3C, 0x40, 0x10, 0x90, 0x3E, 0xCC, 0x10, 0x80,
             0x3C, 0xFF, 0x00, 0xE0, 0x7F, 0xFF, 0x00, 0xFF, 0x2F, 0x00}),
       Song({0x00, 0x90, 0x3C, 0x40, 0x20, 0x80, 0x3C, 0x7F, 0x00, 0xE0, 0x7F, 0x7F, 0x00, 0xFF,
             0x2F, 0x00})},
      {"a second copy of header and track", Join({kTune, kTune}), kTune},
      {"RIFF MIDI", Chunk("RIFF", Join({kRmid, Chunk("data", kTune, true)}), true), kTune},
      {"RIFF MIDI, LIST first",
       Chunk("RIFF", Join({kRmid, kList, Chunk("data", kTune, true)}), true), kTune},
      {"RIFF MIDI, LIST last",
       Chunk("RIFF", Join({kRmid, Chunk("data", kTune, true), kList}), true), kTune},
      {"a time padded to five bytes before the tempo",
       Song({0x80, 0x80, 0x80, 0x81, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F,
             0x00}),
       Song({0x81, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00})},
      {"cut inside a held chord", kCutChord,
       Song({0x00, 0x90, 60,   100,  0x00, 64,   100,  0x00, 67,  100,  0x60, 0x80, 60,   0x40,
             0x00, 64,   0x40, 0x00, 67,   0x40, 0x00, 0xB0, 120, 0x00, 0x00, 0xFF, 0x2F, 0x00})},
      {"128 tracks", ManyTracks(128, 0, false), ManyTracks(128, 0, true)},
      {"400 tracks", ManyTracks(400, 0, false), ManyTracks(400, 0, true)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Normalized(c.file).empty()) << c.name;
    EXPECT_EQ(Normalized(c.file), Normalized(c.same)) << c.name;
  }
}

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

TEST(StandardMidiFile, SoundsAsTheSongItHolds) {
  const Case cases[] = {
      {"the 128th of 128 tracks", ManyTracks(128, 127, false), ManyTracks(128, 127, true)},
      {"the 400th of 400 tracks", ManyTracks(400, 399, false), ManyTracks(400, 399, true)},
      {"a second copy of header and track", Join({kTune, kTune}), kTune},
      {"cut inside a held chord, 0.1 s after the cut", kCutChord, kCutChord, 0.6},
  };
  for (const auto& c : cases) {
    const auto [level, loudestWhenQuiet] = Render(c.file, c.silentFrom);
    EXPECT_GT(level, -90) << c.name;  // heard
    EXPECT_NEAR(level, Render(c.same, 2).first, 0.5) << c.name;
    EXPECT_LE(loudestWhenQuiet, 64 / 32768.0) << c.name;  // what a sound card plays as silence
  }
  // Files of the corpus that most players play and FluidSynth alone does not: each says "You must
  // hear a C-Major scale".
  for (const char* name : {"test-non-midi-track.mid", "test-running-status-metaevent.mid",
                           "test-running-status-sysex.mid", "test-corrupt-file-missing-byte.mid",
                           "test-illegal-message-all.mid", "test-illegal-message-f2-xx-xx.mid"}) {
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/midi-corpus/" + name,
                     std::ios::binary);
    EXPECT_GT(Render({std::istreambuf_iterator<char>(in), {}}, 2).first, -60) << name;
  }
}

}  // namespace
}  // namespace velmora::posix
