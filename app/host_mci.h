#pragma once
// The MCI of the platform the program is built for, for tools that talk to it directly.

#include <memory>

#include "platform/mci.h"

namespace velmora::app {

std::unique_ptr<platform::Mci> MakeHostMci();

}  // namespace velmora::app
