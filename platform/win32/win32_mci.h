#pragma once
// MCI through winmm's command-string functions of the "A" family.

#include "platform/mci.h"

namespace velmora::win32 {

class Win32Mci : public platform::Mci {
 public:
  platform::MciError SendString(const std::string& command) override;
  bool GetErrorString(platform::MciError code, std::span<char> buffer) override;
};

}  // namespace velmora::win32
