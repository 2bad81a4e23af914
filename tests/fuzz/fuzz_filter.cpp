// Fuzzes the dialog's filter string: any lists and any count give either an out-of-range error (the
// count passes a list's end) or pairs of description and pattern, each closed by a NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_picker/module1.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(float)) return 0;
  float count;
  std::memcpy(&count, data, sizeof count);
  if (count > 1000.0f) return 0;  // a huge count only loops longer before the same error
  // The rest is a list of entries separated by '|': descriptions and patterns alternate.
  std::vector<std::string> descriptions, patterns;
  std::string entry;
  bool isPattern = false;
  for (std::size_t i = sizeof(float); i <= size; ++i) {
    if (i == size || data[i] == '|') {
      (isPattern ? patterns : descriptions).push_back(entry);
      entry.clear();
      isPattern = !isPattern;
    } else {
      entry += static_cast<char>(data[i] == 0 ? 'x' : data[i]);  // entries hold no NUL of their own
    }
  }

  std::size_t entries = 0;
  for (float i = 0; i <= count - 1.0f; i += 1.0f) ++entries;
  std::string filter;
  try {
    filter = velmora::Module1::BuildFilter(patterns, descriptions, count);
  } catch (const std::out_of_range&) {
    Require(entries > patterns.size() || entries > descriptions.size());
    return 0;
  }
  Require(entries <= patterns.size() && entries <= descriptions.size());
  std::string expected;
  for (std::size_t i = 0; i < entries; ++i) {
    expected += descriptions[i] + " (" + patterns[i] + ")" + '\0' + patterns[i] + '\0';
  }
  Require(filter == expected);
  return 0;
}
