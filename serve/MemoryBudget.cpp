#include "serve/MemoryBudget.h"

namespace tomelet::serve {

TMemoryHold::TMemoryHold(TMemoryHold&& other) noexcept
    : budget_(other.budget_), bytes_(other.bytes_) {
  other.budget_ = nullptr;
}

TMemoryHold::~TMemoryHold() {
  if (budget_) {
    budget_->used_ -= bytes_;
  }
}

std::optional<TMemoryHold> TMemoryBudget::Reserve(std::size_t bytes) {
  std::size_t used = used_.load();
  do {
    if (bytes > limit_ || used > limit_ - bytes) {
      return std::nullopt;
    }
  } while (!used_.compare_exchange_weak(used, used + bytes));
  return TMemoryHold(*this, bytes);
}

}  // namespace tomelet::serve
