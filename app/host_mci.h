#pragma once
// The MCI of the platform the program is built for, for tools that talk to it directly.

#include <memory>
#include <string>
#include <vector>

#include "platform/mci.h"

namespace velmora::app {

// `options` as given on the tool's command line; nothing when one is not understood.
std::unique_ptr<platform::Mci> MakeHostMci(const std::vector<std::string>& options);

// What MakeHostMci understands, for the tool's usage line.
extern const char* const kHostMciOptions;

}  // namespace velmora::app
