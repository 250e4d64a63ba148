#include "ZLIBArchive2/SeekPoints.h"

#include <algorithm>

namespace tomelet {

std::optional<TSeekPoint> TSeekPoints::Before(int entry, std::int64_t output) const {
  const std::lock_guard lock(mutex_);
  const auto found = points_.find(entry);
  if (found == points_.end()) {
    return std::nullopt;
  }
  const auto& points = found->second;
  const auto after = std::upper_bound(
      points.begin(), points.end(), output,
      [](std::int64_t value, const TSeekPoint& point) { return value < point.Output; });
  if (after == points.begin()) {
    return std::nullopt;
  }
  return *std::prev(after);
}

void TSeekPoints::Add(int entry, TSeekPoint point) {
  const std::lock_guard lock(mutex_);
  auto& points = points_[entry];
  if (used_ + kPointCost > kBudget || (!points.empty() && points.back().Output >= point.Output)) {
    return;
  }
  used_ += kPointCost;
  points.push_back(std::move(point));
}

}  // namespace tomelet
