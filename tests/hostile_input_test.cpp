// Hostile input through the program's window code and the real Linux layer: every case ends in
// playback or in a shown error that names its step, the window is in the matching state, and no
// click keeps the program busy for a second.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "main_window/form1.h"
#include "midi_fixtures.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/posix_file_system.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::MidiBytes;

constexpr auto kMaxBusy = std::chrono::seconds(1);

struct Outcome {
  bool playing;
  std::string label;
};

class HostileInput : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    std::printf("slowest Play click of %d: %.1f ms\n", clicks_,
                std::chrono::duration<double, std::milli>(slowest_).count());
  }

  void SetUp() override {
    // The file's content is under test here, not the sound server: render to nowhere.
    setenv("VELMORA_AUDIO_DRIVER", "file", 1);
    setenv("VELMORA_AUDIO_FILE", "/dev/null", 1);
  }
  void TearDown() override {
    mci.SendString("close all");
    unsetenv("VELMORA_AUDIO_DRIVER");
    unsetenv("VELMORA_AUDIO_FILE");
  }

  // Get Mid File answered with the path, then Play, with `between` run in between (the user's
  // files change while the window waits). Checks the window's state follows the outcome.
  Outcome ChooseAndPlay(const fs::path& path, const std::function<void()>& between = {}) {
    window.dialogAnswers.push_back(fake::FakePlatform::Choose(path.string()));
    form.CmdGetMidFile_Click();
    EXPECT_TRUE(window.visible[ControlId::cmdPlay]) << path;
    if (between) between();

    const auto start = Clock::now();
    form.cmdPlay_Click();
    const auto busy = Clock::now() - start;
    slowest_ = std::max(slowest_, busy);
    ++clicks_;
    EXPECT_LT(busy, kMaxBusy) << path << ": Play kept the window busy for "
                              << std::chrono::duration<double>(busy).count() << " s";

    Outcome outcome{window.visible[ControlId::cmdStop], window.captions[ControlId::Label1]};
    if (outcome.playing) {
      EXPECT_EQ(outcome.label, "Now Playing \r\n" + path.filename().string());
      EXPECT_FALSE(window.visible[ControlId::CmdGetMidFile]);
      form.cmdStop_Click();
    } else {
      EXPECT_TRUE(outcome.label.rfind("open: ", 0) == 0 || outcome.label.rfind("play: ", 0) == 0)
          << path << ": " << outcome.label;
      EXPECT_GT(outcome.label.size(), 6u) << "the error has a text";
      EXPECT_TRUE(window.visible[ControlId::CmdGetMidFile]);
      EXPECT_FALSE(window.visible[ControlId::cmdPlay]);
    }
    EXPECT_NE(mci.SendString("close mcitest"), platform::kMciOk) << "nothing left open after Stop";
    return outcome;
  }

  std::string ErrorText(platform::MciError code) {
    std::string text(255, '\0');
    mci.GetErrorString(code, text);
    return text.substr(0, text.find('\0'));
  }

  static inline Clock::duration slowest_{};
  static inline int clicks_ = 0;
  testing::TempFolder folder;
  fake::FakePlatform window;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  Form1 form{platform::Platform{window, window, mci, files, window}};
};

TEST_F(HostileInput, EveryCorpusFileEndsInPlaybackOrAShownError) {
  const fs::path corpus = fs::path(VELMORA_SOURCE_DIR) / ".." / "shared" / "midi-corpus";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no MIDI corpus at " << corpus;
  int played = 0, refused = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() != ".mid") continue;
    (ChooseAndPlay(entry.path()).playing ? played : refused)++;
  }
  EXPECT_EQ(played + refused, 72);
  EXPECT_GT(played, 60);
  EXPECT_GE(refused, 2) << "the empty and the non-MIDI files are refused";
}

TEST_F(HostileInput, BrokenAndOversizedFilesAreRefusedAtOpen) {
  const std::vector<std::pair<std::string, MidiBytes>> broken{
      {"zero bytes.mid", {}},
      {"header only.mid", testing::Header(1, 1)},
      {"text.mid", {'h', 'e', 'l', 'l', 'o', '\n'}},
  };
  for (const auto& [name, bytes] : broken) {
    EXPECT_FALSE(ChooseAndPlay(folder.Write(name, bytes)).playing) << name;
  }

  const fs::path junk = folder.path() / "junk 100 MB.mid";
  {
    std::ofstream out(junk, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
      block[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (int i = 0; i < 100; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  EXPECT_FALSE(ChooseAndPlay(junk).playing);
}

TEST_F(HostileInput, FileCutAtEveryChunkBoundaryOrClaimingAbsurdTracksNeverHangs) {
  const MidiBytes tune =
      testing::Join({testing::Header(1, 2), testing::Chunk("MTrk", testing::ScaleTrackEvents()),
                     testing::Chunk("MTrk", testing::ScaleTrackEvents())});
  const std::size_t track = 8 + testing::ScaleTrackEvents().size();
  const std::size_t header = 14;
  for (std::size_t cut : {std::size_t{8}, header, header + 8, header + track, header + track + 8,
                          header + 2 * track - 1}) {
    ChooseAndPlay(folder.Write("cut at " + std::to_string(cut) + ".mid",
                               MidiBytes(tune.begin(), tune.begin() + static_cast<long>(cut))));
  }
  MidiBytes manyTracks = testing::Join(
      {testing::Header(1, 65535), testing::Chunk("MTrk", testing::ScaleTrackEvents())});
  ChooseAndPlay(folder.Write("65535 tracks.mid", manyTracks));
  // A track claiming nearly 4 GiB: what is there may play, nothing may wait for the rest.
  ChooseAndPlay(
      folder.Write("absurd length.mid", testing::Join({testing::Header(0, 1),
                                                       {'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xF0},
                                                       testing::ScaleTrackEvents()})));
}

TEST_F(HostileInput, WhatIsNotARegularFileIsRefusedWithoutReadingIt) {
  const fs::path fifo = folder.path() / "pipe.mid";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // nobody writes: a read would block for ever
  EXPECT_FALSE(ChooseAndPlay(fifo).playing);

  const fs::path directory = folder.path() / "folder.mid";
  fs::create_directory(directory);
  EXPECT_FALSE(ChooseAndPlay(directory).playing);

  const fs::path device = folder.path() / "zero.mid";
  fs::create_symlink("/dev/zero", device);
  EXPECT_FALSE(ChooseAndPlay(device).playing);

  const fs::path loop = folder.path() / "loop.mid";
  fs::create_symlink(folder.path() / "loop2.mid", loop);
  fs::create_symlink(loop, folder.path() / "loop2.mid");
  const Outcome looped = ChooseAndPlay(loop);
  EXPECT_EQ(looped.label, "open: " + ErrorText(platform::kMciErrFileNotFound));
}

TEST_F(HostileInput, FileChangedBetweenChoosingAndPlay) {
  const fs::path gone = folder.Write("gone.mid", testing::SmallTune());
  const Outcome deleted = ChooseAndPlay(gone, [&] { fs::remove(gone); });
  EXPECT_EQ(deleted.label, "open: " + ErrorText(platform::kMciErrFileNotFound));

  const fs::path swapped = folder.Write("swapped.mid", testing::SmallTune());
  EXPECT_FALSE(ChooseAndPlay(swapped, [&] {
                 fs::remove(swapped);
                 fs::create_directory(swapped);
               }).playing);
}

TEST_F(HostileInput, AwkwardNamesPlayUnderTheirOwnName) {
  for (const char* name :
       {"with blanks  inside.mid", "say \"hello\".mid", "it's mine.mid",
        "d\xc3\xa9j\xc3\xa0 vu \xe2\x99\xab.mid", "-leading dash.mid", "--help.mid",
        "\"quoted whole\".mid", "tab\there.mid", "semi;colon & amp.mid"}) {
    EXPECT_TRUE(ChooseAndPlay(folder.Write(name, testing::SmallTune())).playing) << name;
  }
}

TEST_F(HostileInput, LongPaths) {
  fs::path deep = folder.path();
  while (deep.string().size() < 120) deep /= "a rather long folder name";
  fs::create_directories(deep);
  EXPECT_TRUE(
      ChooseAndPlay(folder.Write((deep / "deep.mid").lexically_relative(folder.path()).string(),
                                 testing::SmallTune()))
          .playing);

  while (deep.string().size() < 260) deep /= "yet another folder level";
  fs::create_directories(deep);
  const fs::path tooLong = deep / "tune.mid";
  window.dialogAnswers.push_back(fake::FakePlatform::Choose(tooLong.string()));
  form.CmdGetMidFile_Click();  // does not fit the dialog's buffer: nothing chosen
  EXPECT_TRUE(window.visible[ControlId::CmdGetMidFile]);
  EXPECT_FALSE(window.visible[ControlId::cmdPlay]);
}

TEST_F(HostileInput, UnreadableFileIsAShownError) {
  const fs::path locked = folder.Write("locked.mid", testing::SmallTune());
  fs::permissions(folder.path(),
                  fs::perms::owner_all | fs::perms::others_exec | fs::perms::others_read);
  fs::permissions(locked, fs::perms::none);
  // Root reads everything: check as an ordinary user in a child process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    if (access(locked.c_str(), R_OK) == 0) _exit(3);
    const Outcome outcome = ChooseAndPlay(locked);
    _exit(!outcome.playing && outcome.label.rfind("open: ", 0) == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: not a shown open error; 2: could not drop root; 3: readable";
}

// The platform missing: no sound output of any kind, no SoundFont.
TEST_F(HostileInput, NoSoundServerNoDeviceAndNoSoundFontAreShownOnPlay) {
  const fs::path tune = folder.Write("tune.mid", testing::SmallTune());
  unsetenv("VELMORA_AUDIO_DRIVER");
  const char* pulse = std::getenv("PULSE_SERVER");
  const std::string savedPulse = pulse != nullptr ? pulse : "";
  setenv("PULSE_SERVER", (folder.path() / "no-server").c_str(), 1);
  setenv("ALSA_CONFIG_PATH", (folder.path() / "no-alsa.conf").c_str(), 1);  // no ALSA device either
  std::ofstream(folder.path() / "no-alsa.conf") << "pcm.!default { type null_device_missing }\n";
  const Outcome noOutput = ChooseAndPlay(tune);
  unsetenv("ALSA_CONFIG_PATH");
  if (savedPulse.empty())
    unsetenv("PULSE_SERVER");
  else
    setenv("PULSE_SERVER", savedPulse.c_str(), 1);
  EXPECT_FALSE(noOutput.playing);
  EXPECT_EQ(noOutput.label.rfind("open: ", 0), 0u) << noOutput.label;

  setenv("VELMORA_AUDIO_DRIVER", "file", 1);
  setenv("VELMORA_SOUNDFONT", (folder.path() / "missing.sf2").c_str(), 1);
  const Outcome noSoundFont = ChooseAndPlay(tune);
  unsetenv("VELMORA_SOUNDFONT");
  EXPECT_FALSE(noSoundFont.playing);
  EXPECT_EQ(noSoundFont.label.rfind("open: ", 0), 0u) << noSoundFont.label;
}

}  // namespace
}  // namespace velmora
