#include "sound_engine/free_memory.h"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace velmora::posix {

namespace {

namespace fs = std::filesystem;

// "Name: N kB" in a /proc file, in bytes.
std::optional<std::uint64_t> KibField(const fs::path& file, const std::string& name) {
  std::ifstream in(file);
  std::string key;
  std::uint64_t kib = 0;
  while (in >> key) {
    if (key == name + ":" && in >> kib) return kib * 1024;
    in.ignore(4096, '\n');
  }
  return std::nullopt;
}

// A number alone in a file; nothing for "max", a missing file or anything else.
std::optional<std::uint64_t> Number(const fs::path& file) {
  std::ifstream in(file);
  std::uint64_t value = 0;
  if (in >> value) return value;
  return std::nullopt;
}

// What the group at `path` under `hierarchy`, and each group above it, still allows.
std::optional<std::uint64_t> GroupRoom(const fs::path& hierarchy, fs::path path,
                                       const char* limitName, const char* usageName) {
  std::optional<std::uint64_t> least;
  for (;; path = path.parent_path()) {
    const fs::path group = hierarchy / path.relative_path();
    const auto limit = Number(group / limitName);
    // cgroup v1 says "no limit" with a page-rounded largest value.
    if (limit && *limit < (std::uint64_t{1} << 62)) {
      const std::uint64_t used = Number(group / usageName).value_or(0);
      least = std::min(least.value_or(*limit), *limit - std::min(*limit, used));
    }
    if (!path.has_relative_path()) return least;
  }
}

std::optional<std::uint64_t> CgroupRoom(const fs::path& root) {
  std::ifstream groups(root / "proc/self/cgroup");
  std::optional<std::uint64_t> least;
  for (std::string line; std::getline(groups, line);) {
    const auto first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    // "0::PATH" for cgroup v2; "N:CONTROLLERS:PATH" for each cgroup v1 hierarchy.
    const std::string controllers = "," + line.substr(first + 1, second - first - 1) + ",";
    const fs::path path = line.substr(second + 1);
    std::optional<std::uint64_t> room;
    if (line.compare(0, 3, "0::") == 0)
      room = GroupRoom(root / "sys/fs/cgroup", path, "memory.max", "memory.current");
    else if (controllers.find(",memory,") != std::string::npos)
      room = GroupRoom(root / "sys/fs/cgroup/memory", path, "memory.limit_in_bytes",
                       "memory.usage_in_bytes");
    if (room) least = std::min(least.value_or(*room), *room);
  }
  return least;
}

std::optional<std::uint64_t> LimitRoom(const std::optional<std::uint64_t>& limit,
                                       const std::optional<std::uint64_t>& used) {
  if (!limit) return std::nullopt;
  return *limit - std::min(*limit, used.value_or(0));
}

}  // namespace

ProcessLimits CurrentProcessLimits() {
  const auto soft = [](int resource) -> std::optional<std::uint64_t> {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return limit.rlim_cur;
  };
  return {soft(RLIMIT_AS), soft(RLIMIT_DATA)};
}

std::optional<std::uint64_t> FreeMemory(const fs::path& root, const ProcessLimits& limits) {
  const fs::path status = root / "proc/self/status";
  std::optional<std::uint64_t> least;
  for (const auto& room : {KibField(root / "proc/meminfo", "MemAvailable"), CgroupRoom(root),
                           LimitRoom(limits.addressSpace, KibField(status, "VmSize")),
                           LimitRoom(limits.data, KibField(status, "VmData"))}) {
    if (room) least = std::min(least.value_or(*room), *room);
  }
  return least;
}

std::optional<std::uint64_t> SystemFreeMemory() { return FreeMemory("/", CurrentProcessLimits()); }

}  // namespace velmora::posix
