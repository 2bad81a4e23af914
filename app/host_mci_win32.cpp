#include "app/host_mci.h"
#include "platform/win32/win32_mci.h"

namespace velmora::app {

std::unique_ptr<platform::Mci> MakeHostMci() { return std::make_unique<win32::Win32Mci>(); }

}  // namespace velmora::app
