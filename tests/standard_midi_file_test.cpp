// The file check at open: what is refused, what each unusual or damaged file plays as once
// rewritten for the synthesizer's player (read back here event by event, as that player reads), and
// how rewritten files sound when FluidSynth plays them.
#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/posix/mci/standard_midi_file.h"

namespace velmora::posix {
namespace {

using MidiBytes = std::vector<std::uint8_t>;

MidiBytes Join(std::initializer_list<MidiBytes> parts) {
  MidiBytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
MidiBytes Chunk(const char* id, const MidiBytes& body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  return Join(
      {MidiBytes(id, id + 4),
       {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)},
       body});
}
MidiBytes Header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division = 96) {
  return Chunk("MThd", {0, std::uint8_t(format), std::uint8_t(tracks >> 8), std::uint8_t(tracks),
                        std::uint8_t(division >> 8), std::uint8_t(division)});
}
// Piano: C, E, G and C a quarter note each.
const MidiBytes kScale{0x00, 0xC0, 0x00, 0x00, 0x90, 60,   0x7F, 0x60, 0x80, 60,
                       0x40, 0x00, 0x90, 64,   0x7F, 0x60, 0x80, 64,   0x40, 0x00,
                       0x90, 67,   0x7F, 0x60, 0x80, 67,   0x40, 0x00, 0x90, 72,
                       0x7F, 0x60, 0x80, 72,   0x40, 0x00, 0xFF, 0x2F, 0x00};
MidiBytes FromCorpus(const char* name) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/midi-corpus/" + name,
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

MidiBytes Track(const MidiBytes& events) { return Chunk("MTrk", events); }
MidiBytes Song(const MidiBytes& events) { return Join({Header(0, 1), Track(events)}); }

// A RIFF chunk: little-endian size, padded to an even length.
MidiBytes Riff(const char* id, const MidiBytes& body) {
  MidiBytes chunk = Chunk(id, body);
  std::reverse(chunk.begin() + 4, chunk.begin() + 8);
  if (body.size() % 2 != 0) chunk.push_back(0);
  return chunk;
}

// `count` tracks; from `firstSounding` on, track i holds key 36 + i % 64 on channel i / 64 from
// tick i % 2 for 96 ticks. `merged`: the same notes in one track, in the order FluidSynth's player
// sends them: by time, then by track.
MidiBytes ManyTracks(int count, int firstSounding, bool merged) {
  const auto note = [](int i, int tick) -> MidiBytes {
    return {static_cast<std::uint8_t>((tick < 96 ? 0x90 : 0x80) | i / 64),
            static_cast<std::uint8_t>(36 + i % 64), 64};
  };
  const MidiBytes end{0x00, 0xFF, 0x2F, 0x00};
  MidiBytes file = Header(1, static_cast<std::uint16_t>(count)), events;
  for (int i = 0; i < count && !merged; ++i) {
    const MidiBytes sounding =
        Join({{static_cast<std::uint8_t>(i % 2)}, note(i, 0), {96}, note(i, 96)});
    file = Join({file, Track(Join({i < firstSounding ? MidiBytes{} : sounding, end}))});
  }
  int last = 0;
  for (int tick : {0, 1, 96, 97}) {
    for (int i = firstSounding + (firstSounding + tick) % 2; i < count && merged;
         i += 2, last = tick)
      events = Join({events, {static_cast<std::uint8_t>(tick - last)}, note(i, tick)});
  }
  return merged ? Song(Join({events, end})) : file;
}

// The time division, then the events of a one-track file as (tick, status and data), read as
// strictly as FluidSynth's player reads: no running status after meta or SysEx events (a data byte
// there reads as status 0), no number longer than four bytes.
std::vector<std::pair<std::uint64_t, MidiBytes>> Decode(const MidiBytes& file) {
  MidiBytes oneTrack = Join({Header(0, 1), Track(MidiBytes(file.begin() + 22, file.end()))});
  std::copy_n(file.begin() + 12, 2, oneTrack.begin() + 12);  // the division is the source's own
  EXPECT_EQ(file, oneTrack);
  std::vector<std::pair<std::uint64_t, MidiBytes>> events{{0, {file[12], file[13]}}};
  std::size_t at = 22;
  std::uint64_t tick = 0;
  std::uint8_t running = 0;
  const auto number = [&] {
    std::uint64_t value = 0;
    const std::size_t start = at;
    while (file.at(at) >= 0x80) value = (value << 7) | (file.at(at++) & 0x7F);
    EXPECT_LT(at - start, 4u) << "a number longer than four bytes, tick " << tick;
    return (value << 7) | file.at(at++);
  };
  while (at < file.size()) {
    tick += number();
    const std::uint8_t status = file.at(at) >= 0x80 ? file.at(at++) : running;
    MidiBytes message{status};
    if (status == 0xFF) message.push_back(file.at(at++));
    running = status < 0xF0 ? status : 0;
    const std::size_t length = status >= 0xF0 ? number() : (status & 0xE0) == 0xC0 ? 1 : 2;
    message.insert(message.end(), file.begin() + at,
                   file.begin() + std::min(file.size(), at + length));
    at += length;
    events.emplace_back(tick, message);
  }
  return events;
}

// A file, and one that plays the same; for rendering, from when on it is silent.
struct Case {
  const char* name;
  MidiBytes file, same;
  double silentFrom = 2;
};

const MidiBytes kTune = Join({Header(0, 1), Chunk("MTrk", kScale)});
const MidiBytes kList = Riff("LIST", Join({{'I', 'N', 'F', 'O'}, Riff("INAM", {'a', 'b', 'c'})}));
const MidiBytes kRmid{'R', 'M', 'I', 'D'};
// A piano chord held for 96 ticks (0.5 s), the file cut inside its first note-off.
const MidiBytes kChord = Song({0x00, 0x90, 60, 100, 0x00, 64, 100, 0x00, 67, 100, 0x60, 0x80, 60,
                               0x40, 0x00, 0xFF, 0x2F, 0x00});
const MidiBytes kCutChord(kChord.begin(), kChord.end() - 5);

TEST(StandardMidiFile, RefusesWhatIsNotAPlayableMidiFile) {
  const MidiBytes note{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
  const MidiBytes refused[] = {
      {},
      {'M', 'T', 'h', 'd'},
      MidiBytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96},
      Riff("RIFF", Join({kRmid, kList})),                // RIFF MIDI without data
      Join({Header(0, 1)}),                              // no track at all
      Join({Header(3, 1), Track(note)}),                 // no such format
      Join({Header(0, 1, 0), Track(note)}),              // no time division
      Join({Header(0, 1, 0xE728), Track(note)}),         // timecode division
      Join({Chunk("MThd", {0, 0, 0, 1}), Track(note)}),  // header too short
      Join({Header(0, 1), Track({0x00, 0x3C, 0x40})}),   // data with no status before it
      Song({0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
            0x20}),                                // time beyond 28 bits
      Song({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}),  // a tempo of the wrong length
  };
  for (const auto& bytes : refused) {
    EXPECT_FALSE(NormalizeStandardMidiFile(bytes).has_value()) << "size " << bytes.size();
  }
}

TEST(StandardMidiFile, PlaysEachFileAsTheCleanSongItHolds) {
  const Case cases[] = {
      {"well formed", kTune, kTune},
      {"an unknown chunk", Join({Header(1, 2), Chunk("Junk", {1, 2, 3}), Track(kScale)}), kTune},
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
      {"RIFF MIDI", Riff("RIFF", Join({kRmid, Riff("data", kTune)})), kTune},
      {"RIFF MIDI, LIST first", Riff("RIFF", Join({kRmid, kList, Riff("data", kTune)})), kTune},
      {"RIFF MIDI, LIST last", Riff("RIFF", Join({kRmid, Riff("data", kTune), kList})), kTune},
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
    const auto normalized = NormalizeStandardMidiFile(c.file);
    ASSERT_TRUE(normalized.has_value()) << c.name;
    EXPECT_EQ(Decode(*normalized), Decode(c.same)) << c.name;
  }
}

// FluidSynth's player plays the rewritten file, without a sound output, for two seconds: their
// level in dB, and the loudest sample from `quietFrom` seconds on.
std::pair<double, float> Render(const MidiBytes& file, double quietFrom) {
  const MidiBytes midi = NormalizeStandardMidiFile(file).value_or(MidiBytes{});
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_synth_sfload(synth, "/usr/share/sounds/sf2/default-GM.sf2", 1);
  fluid_player_t* player = new_fluid_player(synth);
  fluid_player_add_mem(player, midi.data(), midi.size());
  fluid_player_play(player);
  std::vector<float> samples(2 * 2 * 44100);
  fluid_synth_write_float(synth, 2 * 44100, samples.data(), 0, 2, samples.data(), 1, 2);
  delete_fluid_player(player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
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
  // Files of the corpus that most players play and FluidSynth alone does not: each says "You must
  // hear a C-Major scale".
  for (const char* name : {"test-non-midi-track.mid", "test-running-status-metaevent.mid",
                           "test-running-status-sysex.mid", "test-corrupt-file-missing-byte.mid",
                           "test-illegal-message-all.mid", "test-illegal-message-f2-xx-xx.mid"})
    EXPECT_GT(Render(FromCorpus(name), 2).first, -60) << name;
  for (const auto& c : cases) {
    const auto [level, loudestWhenQuiet] = Render(c.file, c.silentFrom);
    EXPECT_GT(level, -90) << c.name;  // heard
    EXPECT_NEAR(level, Render(c.same, 2).first, 0.5) << c.name;
    EXPECT_LE(loudestWhenQuiet, 64 / 32768.0) << c.name;  // what a sound card plays as silence
  }
}

}  // namespace
}  // namespace velmora::posix
