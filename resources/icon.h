#pragma once
// Velmora's icon, 32 x 32 in 16 colours: green notes on slanted staff lines. Every window backend
// builds its window icon from this data; velmora.ico and velmora.png hold the same picture.

#include <array>
#include <cstdint>

namespace velmora::resources {

inline constexpr int kIconSize = 32;

extern const std::array<std::uint32_t, 16> kIconPalette;  // 0x00RRGGBB
extern const std::array<std::uint8_t, kIconSize * kIconSize>
    kIconPixels;  // palette index, rows top down
extern const std::array<std::uint8_t, kIconSize * kIconSize>
    kIconOpaque;  // 1 where the picture is drawn

}  // namespace velmora::resources
