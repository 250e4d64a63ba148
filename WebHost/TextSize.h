// The five text sizes of the viewer as the engine's text zoom.
#pragma once

#include <array>
#include <optional>

#include "platform/webbrowser/WebBrowser.h"

namespace tomelet {

// The zoom factor of a text size; nothing for a size outside the five.
constexpr std::optional<double> TextSizeZoomLevel(int textSize) {
  constexpr std::array kLevels{0.75, 0.9, 1.0, 1.2, 1.45};
  static_assert(kLevels.size() == kLargestTextSize - kSmallestTextSize + 1);
  if (!IsTextSize(textSize))
    return std::nullopt;
  return kLevels[static_cast<std::size_t>(textSize - kSmallestTextSize)];
}

}  // namespace tomelet
