#pragma once
// The stored design of the program's one window: everything a window-system backend needs to build
// the real window, kept as data so every backend builds the same window and tests can check it.

#include <array>
#include <cstdint>
#include <string_view>

namespace velmora {

enum class ControlId { CmdGetMidFile, cmdPlay, cmdStop, Label1, Label2 };

enum class ControlKind { PushButton, Label };

struct ControlDesign {
  ControlId id;
  std::string_view name;
  ControlKind kind;
  std::string_view caption;
  // Twips, measured from the top-left corner of the client area.
  int left, top, width, height;
  bool visible;
  int tabIndex;
  bool centred;
};

struct FormDesign {
  std::string_view caption;
  int clientWidth, clientHeight;  // twips
  std::uint32_t backColour;       // 0x00BBGGRR
  std::array<ControlDesign, 5> controls;

  const ControlDesign& control(ControlId id) const;
};

inline constexpr int kTwipsPerInch = 1440;

extern const FormDesign kForm1Design;

}  // namespace velmora
