#include <unistd.h>

#include <cstdlib>

#include "app/host_mci.h"
#include "platform/posix/engine_mci.h"
#include "sound_engine/fluid_log.h"

namespace velmora::app {

namespace {

bool IsCount(const std::string& value, std::size_t digits) {
  return value.find_first_not_of("0123456789") == std::string::npos && value.size() <= digits;
}

}  // namespace

const char* const kHostMciOptions =
    "[--audio-driver=NAME] [--audio-file=PATH] [--free-memory-mb=N]\n"
    "  --audio-driver  the one output to use: pulseaudio, alsa or file (default: pulseaudio, then "
    "alsa)\n"
    "  --audio-file    the WAV file the \"file\" output writes\n"
    "  --free-memory-mb  the memory free for a piece, instead of what the system says";

std::unique_ptr<platform::Mci> MakeHostMci(const std::vector<std::string>& options) {
  posix::RouteFluidSynthLog();  // the tool's process, as the program's main does
  posix::FluidMciOptions chosen;
  for (const std::string& option : options) {
    const auto equals = option.find('=');
    const std::string name = option.substr(0, equals), value = option.substr(equals + 1);
    if (equals == std::string::npos || value.empty()) return nullptr;
    if (name == "--audio-driver") {
      chosen.output.drivers = {value};
    } else if (name == "--audio-file") {
      chosen.output.file = value;
    } else if (name == "--free-memory-mb" && IsCount(value, 11)) {
      const std::uint64_t bytes = std::strtoull(value.c_str(), nullptr, 10) * 1000000;
      chosen.freeMemory = [bytes] { return std::optional<std::uint64_t>(bytes); };
    } else {
      return nullptr;
    }
  }
  auto mci = std::make_unique<posix::EngineMci>(std::move(chosen));
  // For scripts that wait for a piece's end: one line on standard error, from the engine's thread.
  mci->SetPieceEndedHandler([] {
    constexpr char kNotice[] = "piece ended\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
  });
  return mci;
}

}  // namespace velmora::app
