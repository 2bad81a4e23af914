// The memory free for a piece, read from files laid out as the kernel shows them: the least of
// MemAvailable, each control group's limit less its use up the tree, and the process's limits less
// what it uses.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/posix/mci/free_memory.h"

namespace velmora::posix {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* name;
  std::vector<std::pair<const char*, const char*>> files;  // under the root
  ProcessLimits limits;
  std::optional<std::uint64_t> free;
};

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(FreeMemory, IsTheLeastOfWhatTheSystemAndTheProcessAllow) {
  const char* status = "VmSize:\t  204800 kB\nVmData:\t   51200 kB\n";  // 200 MiB, 50 MiB
  const std::vector<Case> cases{
      {"nothing readable", {}, {}, std::nullopt},
      {"MemAvailable", {{"proc/meminfo", "MemTotal: 9 kB\nMemAvailable:  1024 kB\n"}}, {}, kMiB},
      {"cgroup v2, its parent the tighter",
       {{"proc/meminfo", "MemAvailable: 4194304 kB\n"},
        {"proc/self/cgroup", "0::/a/b\n"},
        {"sys/fs/cgroup/a/b/memory.max", "max\n"},
        {"sys/fs/cgroup/a/memory.max", "314572800\n"},
        {"sys/fs/cgroup/a/memory.current", "104857600\n"}},
       {},
       200 * kMiB},
      {"cgroup v1 among other hierarchies",
       {{"proc/self/cgroup", "4:cpu,cpuacct:/y\n3:memory:/x\n"},
        {"sys/fs/cgroup/memory/x/memory.limit_in_bytes", "104857600\n"},
        {"sys/fs/cgroup/memory/x/memory.usage_in_bytes", "52428800\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"}},
       {},
       50 * kMiB},
      {"a group over its limit",
       {{"proc/self/cgroup", "0::/\n"},
        {"sys/fs/cgroup/memory.max", "10\n"},
        {"sys/fs/cgroup/memory.current", "20\n"}},
       {},
       0},
      {"RLIMIT_AS less the address space",
       {{"proc/self/status", status}},
       {400 * kMiB, {}},
       200 * kMiB},
      {"RLIMIT_DATA less the data",
       {{"proc/self/status", status}},
       {400 * kMiB, 80 * kMiB},
       30 * kMiB},
  };
  for (const Case& c : cases) {
    const fs::path root =
        fs::temp_directory_path() / ("velmora-memory-" + std::to_string(getpid()));
    fs::remove_all(root);
    for (const auto& [path, text] : c.files) {
      fs::create_directories((root / path).parent_path());
      std::ofstream(root / path) << text;
    }
    EXPECT_EQ(FreeMemory(root, c.limits), c.free) << c.name;
    fs::remove_all(root);
  }
  EXPECT_TRUE(SystemFreeMemory()) << "this machine says nothing";
}

}  // namespace
}  // namespace velmora::posix
