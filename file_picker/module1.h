#pragma once
// The open-file dialog as the program asks for it: a filter built from lists of file types, a
// record filled with fixed-length buffers, one call of the platform's dialog.

#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmora::Module1 {

inline constexpr std::size_t kFileBufferLength = 254;

// For each type in list order: description, " (", pattern, ")", NUL, pattern, NUL. Entries from
// index 0 while index <= count - 1 (single precision). Throws std::out_of_range past either list's
// end.
std::string BuildFilter(const std::vector<std::string>& patterns,
                        const std::vector<std::string>& descriptions, float count);

// Runs the dialog once and returns its file-name buffer however it ended: after a choice the path,
// a NUL and the remaining blanks; after a cancel the 254 blanks it started with.
std::string ShowOpenFile(const platform::Platform& host, const std::string& title,
                         const std::vector<std::string>& patterns,
                         const std::vector<std::string>& descriptions, float count);

}  // namespace velmora::Module1
