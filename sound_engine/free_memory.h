#pragma once
// How much memory a piece may take: the least of what the system has available (MemAvailable),
// what the process's control group and every group above it still allow (their limit less their
// use, cgroup v2 or v1), and what the process's own limits leave (RLIMIT_AS less its address space,
// RLIMIT_DATA less its data).

#include <cstdint>
#include <filesystem>
#include <optional>

namespace velmora::posix {

// The process's limits; nothing where there is none.
struct ProcessLimits {
  std::optional<std::uint64_t> addressSpace;  // RLIMIT_AS
  std::optional<std::uint64_t> data;          // RLIMIT_DATA
};
ProcessLimits CurrentProcessLimits();

// Reads proc/meminfo, proc/self/cgroup, proc/self/status and sys/fs/cgroup under `root` ("/" on the
// running system). Nothing when none of the figures can be read.
std::optional<std::uint64_t> FreeMemory(const std::filesystem::path& root,
                                        const ProcessLimits& limits);

// The running process's figure.
std::optional<std::uint64_t> SystemFreeMemory();

}  // namespace velmora::posix
