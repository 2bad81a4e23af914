#include "app/host_mci.h"
#include "platform/posix/mci/fluid_mci.h"

namespace velmora::app {

std::unique_ptr<platform::Mci> MakeHostMci() { return std::make_unique<posix::FluidMci>(); }

}  // namespace velmora::app
