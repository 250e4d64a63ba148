// The five text sizes of the viewer, 0 (smallest) to 4 (largest), as the engine's text zoom.
#pragma once

#include <array>
#include <optional>

namespace tomelet {

inline constexpr int kMediumTextSize = 2;

// The zoom factor of a text size; nothing for a size outside 0..4.
constexpr std::optional<double> TextSizeZoomLevel(int textSize) {
  constexpr std::array<double, 5> kLevels{0.75, 0.9, 1.0, 1.2, 1.45};
  if (textSize < 0 || textSize >= static_cast<int>(kLevels.size()))
    return std::nullopt;
  return kLevels[static_cast<std::size_t>(textSize)];
}

}  // namespace tomelet
