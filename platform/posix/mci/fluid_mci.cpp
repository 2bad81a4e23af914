#include "platform/posix/mci/fluid_mci.h"

#include <algorithm>
#include <cctype>

#include "platform/posix/mci/mci_command.h"
#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix {

namespace {

std::string Folded(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

}  // namespace

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
      auto opened = FluidSequencerDevice::Open(command.element, error);
      if (opened) devices_.emplace(alias, std::move(opened));
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
  const std::string_view text = mci_error::Text(code);
  if (text.empty() || buffer.empty()) return false;
  const std::size_t length = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.begin(), length, buffer.begin());
  buffer[length] = '\0';
  return true;
}

}  // namespace velmora::posix
