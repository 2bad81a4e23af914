// Fuzzes the Standard MIDI File check: any bytes are refused, or rewritten into a file that the
// check takes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/posix/mci/standard_midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using velmora::posix::NormalizeStandardMidiFile;
  const auto once = NormalizeStandardMidiFile({data, size});
  if (once && NormalizeStandardMidiFile(*once) != once) std::abort();
  return 0;
}
