#include "sound_engine/fluid_mci.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <new>
#include <string>

#include "sound_engine/free_memory.h"
#include "sound_engine/mci_command.h"
#include "sound_engine/mci_errors.h"

namespace velmora::posix {

namespace {

constexpr const char* kRichSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

std::string Folded(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

std::string ChosenSoundFont() {
  const char* chosen = std::getenv("VELMORA_SOUNDFONT");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return access(kRichSoundFont, R_OK) == 0 ? kRichSoundFont : kDefaultSoundFont;
}

// Whole megabytes, as file managers count them.
std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + 500000) / 1000000); }

}  // namespace

FluidMci::FluidMci(FluidMciOptions options) : options_(std::move(options)) {
  if (!options_.freeMemory) options_.freeMemory = SystemFreeMemory;
}

FluidMci::~FluidMci() = default;

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
    case MciVerb::Open:
      if (device != devices_.end()) return mci_error::kDuplicateAlias;
      try {
        return Open(alias, command.element);
      } catch (const std::bad_alloc&) {
        shortfall_ = {};
        return mci_error::kOutOfMemory;
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

platform::MciError FluidMci::Open(const std::string& alias, const std::string& path) {
  platform::MciError error = platform::kMciOk;
  auto piece = LoadMidiPiece(path, options_.freeMemory, error, shortfall_);
  if (!piece) return error;
  auto synthesizer = synthesizers_.Take(ChosenSoundFont(), error);
  if (!synthesizer) return error;
  auto opened = Player::Open(
      std::move(*piece), synthesizers_, std::move(synthesizer), options_.output, server_,
      [this] {
        if (pieceEnded_) pieceEnded_();
      },
      error);
  if (opened) devices_.emplace(alias, std::move(opened));
  return error;
}

bool FluidMci::GetErrorString(platform::MciError code, std::span<char> buffer) {
  std::string text(mci_error::Text(code));
  if (text.empty() || buffer.empty()) return false;
  if (code == mci_error::kOutOfMemory && shortfall_.needed > 0) {
    text += ": needs " + Megabytes(shortfall_.needed) + " MB";
    if (shortfall_.free) text += ", " + Megabytes(*shortfall_.free) + " MB free";
  }
  const std::size_t length = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.begin(), length, buffer.begin());
  buffer[length] = '\0';
  return true;
}

}  // namespace velmora::posix
