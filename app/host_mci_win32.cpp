#include "app/host_mci.h"
#include "platform/win32/win32_mci.h"

namespace velmora::app {

const char* const kHostMciOptions = "";

std::unique_ptr<platform::Mci> MakeHostMci(const std::vector<std::string>& options) {
  if (!options.empty()) return nullptr;
  return std::make_unique<win32::Win32Mci>();
}

}  // namespace velmora::app
