#pragma once
// Twips and pixels at the display's logical DPI: 1440 twips to the inch, 15 twips a pixel at 96
// DPI.

#include <cmath>
#include <optional>

#include "main_window/form_design.h"

namespace velmora::win32 {

struct TwipsScale {
  int dpiX = 96;
  int dpiY = 96;

  float TwipsPerPixelX() const { return static_cast<float>(kTwipsPerInch) / dpiX; }
  float TwipsPerPixelY() const { return static_cast<float>(kTwipsPerInch) / dpiY; }

  float ToTwipsX(int pixels) const { return pixels * TwipsPerPixelX(); }
  float ToTwipsY(int pixels) const { return pixels * TwipsPerPixelY(); }

  // Nothing when the value has no pixel count a window can take (not a number, beyond int).
  std::optional<int> ToPixelsX(float twips) const { return Round(twips / TwipsPerPixelX()); }
  std::optional<int> ToPixelsY(float twips) const { return Round(twips / TwipsPerPixelY()); }

 private:
  static std::optional<int> Round(float pixels) {
    constexpr float kLimit = 1 << 30;
    if (!std::isfinite(pixels) || std::fabs(pixels) > kLimit) return std::nullopt;
    return static_cast<int>(std::lround(pixels));
  }
};

}  // namespace velmora::win32
