// The program's window on the fake platform, with the real Linux sequencer layer and path
// services: a file that is not MIDI shows the open error, and in a desktop session
// (tests/desktop_session.sh) the music is heard on the null sink while playing, gone after Stop.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "main_window/form1.h"
#include "midi_fixtures.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/mci/fluid_mci.h"
#include "platform/posix/posix_file_system.h"
#include "sink_monitor.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using testing::SinkMonitor;

struct RealSequencerForm {
  fake::FakePlatform window;
  posix::FluidMci mci;
  posix::PosixFileSystem files;
  Form1 form{platform::Platform{window, window, mci, files, window}};

  void ChooseAndPlay(const std::filesystem::path& path) {
    window.dialogAnswers.push_back(fake::FakePlatform::Choose(path.string()));
    form.CmdGetMidFile_Click();
    form.cmdPlay_Click();
  }
  std::string Label() { return window.captions[ControlId::Label1]; }
};

class RealLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VELMORA_AUDIO_DRIVER", "file", 1);
    setenv("VELMORA_AUDIO_FILE", "/dev/null", 1);
  }
  void TearDown() override {
    unsetenv("VELMORA_AUDIO_DRIVER");
    unsetenv("VELMORA_AUDIO_FILE");
  }
  testing::TempFolder folder_;
};

TEST_F(RealLayerTest, ANonMidiFileShowsTheOpenErrorAndLeavesNothingOpen) {
  const auto text = folder_.Write("notes.mid", {'h', 'e', 'l', 'l', 'o'});
  RealSequencerForm ui;
  ui.ChooseAndPlay(text);
  EXPECT_EQ(ui.Label().rfind("open: not a MIDI file", 0), 0u) << ui.Label();
  EXPECT_TRUE(ui.window.visible[ControlId::CmdGetMidFile]);
  EXPECT_NE(ui.mci.SendString("close mcitest"), platform::kMciOk);
}

TEST(RealSound, MusicIsHeardWhilePlayingAndSilentAfterStop) {
  const char* sink = std::getenv("VELMORA_TEST_SINK");
  if (!sink || !std::getenv("PULSE_SERVER")) {
    GTEST_SKIP()
        << "needs the null sink of tests/desktop_session.sh (PULSE_SERVER, VELMORA_TEST_SINK)";
  }
  unsetenv("VELMORA_AUDIO_DRIVER");
  testing::TempFolder folder;
  std::filesystem::path tune =
      std::filesystem::path(VELMORA_SOURCE_DIR) / "resources/demo/velmora-demo.mid";
  if (!std::filesystem::exists(tune)) tune = folder.Write("tune.mid", testing::SmallTune());

  SinkMonitor monitor(sink);
  ASSERT_TRUE(monitor.Started()) << "parec could not run";
  ASSERT_TRUE(monitor.WaitUntilLive(5s));
  std::this_thread::sleep_for(300ms);

  RealSequencerForm ui;
  const auto beforePlay = SinkMonitor::Clock::now();
  ui.ChooseAndPlay(tune);
  ASSERT_EQ(ui.Label().rfind("Now Playing ", 0), 0u) << ui.Label();
  std::this_thread::sleep_for(1500ms);
  const auto stop = SinkMonitor::Clock::now();
  ui.form.cmdStop_Click();
  std::this_thread::sleep_for(1200ms);
  const auto end = SinkMonitor::Clock::now();

  EXPECT_GT(monitor.PeakBetween(beforePlay, stop), 1000) << "no music on the sink while playing";
  // The sink's own buffering may still hand over what was written just before the stop.
  EXPECT_LE(monitor.PeakBetween(stop + 250ms, end), SinkMonitor::kSilence) << "sound after Stop";
}

}  // namespace
}  // namespace velmora
