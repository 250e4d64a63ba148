// One budget for the entry contents that replies hold whole in memory, cached or pinned by a
// reply still in flight: beyond it a reply streams its entry in pieces instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>

namespace tomelet::serve {

class TMemoryBudget;

// Bytes taken from a budget, given back when the hold is destroyed.
class TMemoryHold {
 public:
  TMemoryHold(TMemoryHold&& other) noexcept;
  TMemoryHold& operator=(TMemoryHold&&) = delete;
  ~TMemoryHold();

 private:
  friend class TMemoryBudget;
  TMemoryHold(TMemoryBudget& budget, std::size_t bytes) : budget_(&budget), bytes_(bytes) {}

  TMemoryBudget* budget_;
  std::size_t bytes_;
};

class TMemoryBudget {
 public:
  explicit TMemoryBudget(std::size_t bytes) : limit_(bytes) {}
  TMemoryBudget(const TMemoryBudget&) = delete;
  TMemoryBudget& operator=(const TMemoryBudget&) = delete;

  // A hold on bytes of the budget; none when they do not fit beside the holds already given.
  // The budget must outlive its holds.
  std::optional<TMemoryHold> Reserve(std::size_t bytes);
  std::size_t Used() const { return used_; }

 private:
  friend class TMemoryHold;

  std::size_t limit_;
  std::atomic<std::size_t> used_{0};
};

}  // namespace tomelet::serve
