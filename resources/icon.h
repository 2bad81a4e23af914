#pragma once
// Velmora's icon, 32 x 32 in 16 colours: green notes on slanted staff lines. Every window backend
// builds its window icon from this data; velmora.ico holds the same picture, and the desktop's
// icons (resources/hicolor/) are drawn from the same design.

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora::resources {

inline constexpr int kIconSize = 32;
inline constexpr std::size_t kIconPixelCount = std::size_t{kIconSize} * kIconSize;

// Colours as 0x00RRGGBB.
extern const std::array<std::uint32_t, 16> kIconPalette;
// A palette index per pixel, rows from the top.
extern const std::array<std::uint8_t, kIconPixelCount> kIconPixels;
// 1 where the picture is drawn, 0 where the background shows through.
extern const std::array<std::uint8_t, kIconPixelCount> kIconOpaque;

}  // namespace velmora::resources
