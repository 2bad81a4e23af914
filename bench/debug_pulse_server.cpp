#include "bench/debug_pulse_server.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace velmora::bench {

namespace fs = std::filesystem;

DebugPulseServer::DebugPulseServer() {
  std::string folder = (fs::temp_directory_path() / "velmora-bench-pulse.XXXXXX").string();
  if (!mkdtemp(folder.data())) return;
  folder_ = folder;
  log_ = folder_ / "pulse.log";
  const fs::path runtime = folder_ / "runtime";
  mkdir(runtime.c_str(), 0700);
  address_ = "unix:" + (folder_ / "pulse.sock").string();
  // The same server as the desktop session's, so the figures compare, but for its log.
  server_ = std::make_unique<Child>(std::vector<std::string>{
      "env", "XDG_RUNTIME_DIR=" + runtime.string(), "HOME=" + folder_.string(), "pulseaudio", "-n",
      "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
      "--log-level=debug", "--log-target=file:" + log_.string(),
      std::string("--load=module-null-sink sink_name=") + kSink,
      "--load=module-native-protocol-unix socket=" + (folder_ / "pulse.sock").string() +
          " auth-anonymous=1"});
  const std::string probe = "pactl --server=" + address_ + " info >/dev/null 2>&1";
  for (int tries = 0; tries < 100 && !started_; ++tries) {
    started_ = std::system(probe.c_str()) == 0;
    if (!started_) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

DebugPulseServer::~DebugPulseServer() {
  server_.reset();  // ends the server
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

std::uintmax_t DebugPulseServer::LogMark() const {
  std::error_code ignored;
  const std::uintmax_t size = fs::file_size(log_, ignored);
  return size == static_cast<std::uintmax_t>(-1) ? 0 : size;
}

std::string DebugPulseServer::LogBetween(std::uintmax_t from, std::uintmax_t to) const {
  std::ifstream in(log_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::string text(to > from ? to - from : 0, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

int DebugPulseServer::UnderrunsBetween(std::uintmax_t from, std::uintmax_t to) const {
  std::istringstream lines(LogBetween(from, to));
  int underruns = 0;
  // "Requesting rewind due to end of underrun." follows each one (and a stream's start): not
  // counted.
  for (std::string line; std::getline(lines, line);)
    if (line.find(" underrun of '") != std::string::npos) ++underruns;
  return underruns;
}

double DebugPulseServer::RequestedBufferMs(std::uintmax_t from) const {
  std::istringstream lines(LogBetween(from, LogMark()));
  double ms = -1;
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find("Requested tlength=");
    if (at != std::string::npos) ms = std::atof(line.c_str() + at + 18);
  }
  return ms;
}

}  // namespace velmora::bench
