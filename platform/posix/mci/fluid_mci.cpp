#include "platform/posix/mci/fluid_mci.h"

#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/posix/mci/mci_command.h"
#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {

namespace {

std::string Folded(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

// Whole megabytes, as file managers count them.
std::int64_t Megabytes(std::int64_t bytes) {
  return std::max<std::int64_t>(1, (bytes + 500000) / 1000000);
}

}  // namespace

FluidMci::FluidMci() {
  // Blocks this large (a file's copies, the player's read of it) are mapped on their own and
  // unmapped when freed. Left to itself, glibc raises the threshold to the size of the first such
  // block freed, and later ones stay on the heap as holes for as long as the piece plays.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

platform::MciError FluidMci::SendString(const std::string& text) {
  const ParsedMciCommand parsed = ParseMciCommand(text);
  if (parsed.error != platform::kMciOk) return parsed.error;
  const MciCommand& command = parsed.command;

  if (command.verb == MciVerb::Close && command.all) {
    devices_.clear();
    return platform::kMciOk;
  }
  const std::string alias = Folded(command.deviceName);
  const auto device = devices_.find(alias);

  switch (command.verb) {
    case MciVerb::Open: {
      if (device != devices_.end()) return mci_error::kDuplicateAlias;
      platform::MciError error = platform::kMciOk;
      std::int64_t fileBytes = 0;
      auto opened = FluidSequencerDevice::Open(command.element, synthesizers_, error, fileBytes);
      if (opened) devices_.emplace(alias, std::move(opened));
      if (error == mci_error::kOutOfMemory) tooLargeBytes_ = fileBytes;
      return error;
    }
    case MciVerb::Play:
      if (device == devices_.end()) return mci_error::kInvalidDeviceName;
      return device->second->Play();
    case MciVerb::Close:
      if (device == devices_.end()) return mci_error::kInvalidDeviceName;
      devices_.erase(device);
      return platform::kMciOk;
  }
  return mci_error::kUnrecognizedCommand;
}

bool FluidMci::GetErrorString(platform::MciError code, std::span<char> buffer) {
  std::string text(mci_error::Text(code));
  if (text.empty() || buffer.empty()) return false;
  if (code == mci_error::kOutOfMemory && tooLargeBytes_ > 0) {
    text += ": " + std::to_string(Megabytes(tooLargeBytes_)) + " MB";
  }
  const std::size_t length = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.begin(), length, buffer.begin());
  buffer[length] = '\0';
  return true;
}

}  // namespace velmora::posix
