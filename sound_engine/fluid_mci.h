#pragma once
// The MCI command-string interface on Linux: sequencer devices played by FluidSynth, each open
// under its alias until it is closed, on the synthesizer this layer keeps between pieces. Used from
// one thread.
//
// Setting from the environment: VELMORA_SOUNDFONT, a SoundFont to use instead of the system's
// General MIDI one.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/mci.h"
#include "sound_engine/audio_stream.h"
#include "sound_engine/midi_file_loader.h"
#include "sound_engine/player.h"
#include "sound_engine/synthesizer.h"

namespace velmora::posix {

// What the layer uses of the system; the defaults are the real system's.
struct FluidMciOptions {
  MemoryProbe freeMemory;  // default: SystemFreeMemory
  SoundOutput output;
};

class FluidMci {
 public:
  explicit FluidMci(FluidMciOptions options = {});
  ~FluidMci();
  FluidMci(const FluidMci&) = delete;
  FluidMci& operator=(const FluidMci&) = delete;

  // 0 or the MCI error code of one command string.
  platform::MciError SendString(const std::string& command);
  // The text of an error code, NUL-terminated when it fits; false for a code never answered.
  bool GetErrorString(platform::MciError code, std::span<char> buffer);
  // Called on an output's thread, once, when a piece that is playing ends by itself (never after
  // its close). Set before the first open.
  void SetPieceEndedHandler(std::function<void()> handler) { pieceEnded_ = std::move(handler); }

 private:
  platform::MciError Open(const std::string& alias, const std::string& path);

  FluidMciOptions options_;
  SynthesizerKeeper synthesizers_;  // outlives the devices, which hand their synthesizer back
  SoundServerConnection server_;    // outlives the devices' streams
  // Aliases are matched without regard to case.
  std::map<std::string, std::unique_ptr<Player>> devices_;
  // What the last file refused as too large needed, for the text of that error.
  MemoryShortfall shortfall_;
  std::function<void()> pieceEnded_;
};

}  // namespace velmora::posix
