// Places inside large deflated entries where inflation can resume: the inflater's state with its
// window, taken every few MiB while an entry is read through and kept under a memory budget, so
// that a range near the end of a large entry costs about what the range costs, not the entry.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ZLIBArchive2/Codec.h"

namespace tomelet {

// The seek points of every entry of one document, shared by all its readers.
class TSeekPoints {
 public:
  static constexpr std::int64_t kSpacing = std::int64_t{4} << 20;
  static constexpr std::int64_t kSmallestEntry = std::int64_t{16} << 20;

  // The last point of the entry at or before output, if any.
  std::optional<TSeekPoint> Before(int entry, std::int64_t output) const;
  // Records a point beyond the entry's last one; ignored once the budget is spent.
  void Add(int entry, TSeekPoint point);

 private:
  static constexpr std::size_t kBudget = std::size_t{64} << 20;
  static constexpr std::size_t kPointCost = 48 << 10;
  mutable std::mutex mutex_;
  std::unordered_map<int, std::vector<TSeekPoint>> points_;
  std::size_t used_ = 0;
};

}  // namespace tomelet
