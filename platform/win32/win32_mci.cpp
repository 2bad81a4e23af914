#include "platform/win32/win32_mci.h"
#include "platform/win32/windows_api.h"

namespace velmora::win32 {

platform::MciError Win32Mci::SendString(const std::string& command) {
  // A return length of 0: the device writes nothing into the throwaway text. No callback window.
  char unused[1] = {};
  return mciSendStringA(command.c_str(), unused, 0, nullptr);
}

bool Win32Mci::GetErrorString(platform::MciError code, std::span<char> buffer) {
  return mciGetErrorStringA(code, buffer.data(), static_cast<UINT>(buffer.size())) != FALSE;
}

}  // namespace velmora::win32
