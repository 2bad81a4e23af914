#pragma once
// The Media Control Interface's command-string functions, with the platform's numeric error codes.

#include <cstdint>
#include <span>
#include <string>

namespace velmora::platform {

using MciError = std::uint32_t;

// Codes the program itself produces or relies on; every other code comes from the device.
inline constexpr MciError kMciOk = 0;
inline constexpr MciError kMciErrFileNotFound = 275;

class Mci {
 public:
  virtual ~Mci() = default;
  // Sends one command string; 0 on success or an MCI error code. No return text, no notification.
  virtual MciError SendString(const std::string& command) = 0;
  // Writes the text of an error code into the buffer, NUL-terminated when it fits. False when the
  // code is unknown.
  virtual bool GetErrorString(MciError code, std::span<char> buffer) = 0;
};

}  // namespace velmora::platform
