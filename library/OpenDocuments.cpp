#include "library/OpenDocuments.h"

#include <algorithm>
#include <iterator>

namespace tomelet::library {

TOpenDocuments::TOpenDocuments(std::size_t limit)
    : limit_(std::max<std::size_t>(limit, 1)), closer_([this] { CloseWhenSettled(); }) {}

TOpenDocuments::~TOpenDocuments() {
  {
    const std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  closer_.join();
}

void TOpenDocuments::Used(const TLibraryDocument& document) {
  // Declared before the lock, so what the closed documents held goes after it is released.
  std::vector<TLibraryDocument::THeld> closed;
  const std::lock_guard guard(lock_);
  if (const auto place = places_.find(&document); place != places_.end()) {
    order_.splice(order_.begin(), order_, place->second);
  } else {
    order_.push_front(&document);
    places_.emplace(&document, order_.begin());
  }
  CloseBeyondLimit(closed);
}

void TOpenDocuments::Settled() {
  {
    const std::lock_guard guard(lock_);
    settled_ = true;
  }
  wake_.notify_one();
}

void TOpenDocuments::Forget(const TLibraryDocument& document) {
  const std::lock_guard guard(lock_);
  if (const auto place = places_.find(&document); place != places_.end()) {
    order_.erase(place->second);
    places_.erase(place);
  }
}

// The most recently used stays even when every other one is at work: it is being asked for.
void TOpenDocuments::CloseBeyondLimit(std::vector<TLibraryDocument::THeld>& closed) {
  auto it = order_.end();
  while (order_.size() > limit_ && std::prev(it) != order_.begin()) {
    --it;
    TLibraryDocument::THeld held;
    if ((*it)->Close(held)) {
      closed.push_back(std::move(held));
      places_.erase(*it);
      it = order_.erase(it);
    }
  }
}

void TOpenDocuments::CloseWhenSettled() {
  std::unique_lock guard(lock_);
  while (true) {
    wake_.wait(guard, [this] { return settled_ || stopping_; });
    if (stopping_) {
      return;
    }
    settled_ = false;
    std::vector<TLibraryDocument::THeld> closed;
    CloseBeyondLimit(closed);
    guard.unlock();
    closed.clear();
    guard.lock();
  }
}

}  // namespace tomelet::library
