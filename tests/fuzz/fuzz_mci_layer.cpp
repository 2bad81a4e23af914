// Fuzzes what the Linux MCI layer reads from outside. The first byte chooses:
// - a command string: any text is a command or an error code that has a text, and the open command
//   the program builds for any absolute path reads back as exactly that path;
// - a file's bytes: read without crashing; a piece accepted once plays through to its end, where it
//   was checked to end, with times that never go back.
#include <cstdlib>
#include <string>

#include "sound_engine/mci_command.h"
#include "sound_engine/mci_errors.h"
#include "sound_engine/midi_piece.h"

using namespace velmora::posix;

namespace {

void PlayThrough(std::span<const std::uint8_t> file) {
  velmora::platform::MciError error = 0;
  const auto piece = MidiPiece::FromFile(file, error);
  if (!piece) {
    if (mci_error::Text(error).empty()) std::abort();
    return;
  }
  MidiPieceCursor cursor(*piece);
  std::uint64_t last = 0;
  MidiPieceCursor::Step step;
  while ((step = cursor.Next()) == MidiPieceCursor::Step::kEvent) {
    if (cursor.block() < last) std::abort();
    last = cursor.block();
  }
  if (step != MidiPieceCursor::Step::kEnd || BlockMs(last) != piece->endMs()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    PlayThrough({data + 1, size - 1});
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const ParsedMciCommand any = ParseMciCommand(text);
  if (any.error != 0 ? mci_error::Text(any.error).empty()
                     : any.command.verb == MciVerb::Open && any.command.element.empty())
    std::abort();
  const std::string path = "/" + text.substr(0, text.find('\0'));  // a short form on Linux
  const bool quoted = path.find(' ') != std::string::npos;
  const auto sent = ParseMciCommand("open " + (quoted ? '"' + path + '"' : path) +
                                    " type sequencer alias mcitest");
  if (sent.error != 0 || sent.command.element != path || sent.command.deviceName != "mcitest")
    std::abort();
  return 0;
}
