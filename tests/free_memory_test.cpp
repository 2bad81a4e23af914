// The memory free for a piece, read from files laid out as the kernel shows them
// (tests/free_memory_cases.txt): the least of MemAvailable, each control group's limit less its use
// up the tree, and the process's limits less what it uses.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sound_engine/free_memory.h"

namespace velmora::posix {
namespace {

namespace fs = std::filesystem;

std::optional<std::uint64_t> Bytes(const std::string& word) {
  if (word == "-") return std::nullopt;
  return std::stoull(word);
}

std::string Unescaped(std::string text) {
  for (const auto& [escape, character] : {std::pair{"\\n", '\n'}, {"\\t", '\t'}})
    for (std::size_t at; (at = text.find(escape)) != std::string::npos;)
      text.replace(at, 2, 1, character);
  return text;
}

TEST(FreeMemory, IsTheLeastOfWhatTheSystemAndTheProcessAllow) {
  std::ifstream cases(VELMORA_SOURCE_DIR "/tests/free_memory_cases.txt");
  const fs::path root = fs::temp_directory_path() / ("velmora-memory-" + std::to_string(getpid()));
  int count = 0;
  for (std::string line, free, addressSpace, data, file; std::getline(cases, line);) {
    std::istringstream words(line);
    if (!(words >> free >> addressSpace >> data) || free[0] == '#') continue;
    fs::remove_all(root);
    fs::create_directories(root);
    while (words >> file) {
      const fs::path path = root / file.substr(0, file.find('='));
      fs::create_directories(path.parent_path());
      std::ofstream(path) << Unescaped(file.substr(file.find('=') + 1));
    }
    EXPECT_EQ(FreeMemory(root, {Bytes(addressSpace), Bytes(data)}), Bytes(free)) << line;
    ++count;
  }
  fs::remove_all(root);
  EXPECT_EQ(count, 7);
  EXPECT_TRUE(SystemFreeMemory()) << "this machine says nothing";
}

}  // namespace
}  // namespace velmora::posix
