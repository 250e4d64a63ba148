#include "serve/ConnectionLimit.h"

#include <sys/resource.h>

#include <algorithm>
#include <vector>

namespace tomelet::serve {

namespace {

// Descriptors kept back for the document, the listening socket, the event loop and a margin.
constexpr std::size_t kReservedDescriptors = 32;
constexpr std::size_t kFewestConnections = 8;

}  // namespace

std::size_t TConnectionLimit::Cap() const {
  if (cap_ > 0) {
    return cap_;
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return 65536;
  }
  const auto descriptors = static_cast<std::size_t>(limit.rlim_cur);
  return std::max(kFewestConnections,
                  descriptors > kReservedDescriptors ? descriptors - kReservedDescriptors : 0);
}

// A connection whose last owner is gone but whose destructor has not yet counted it out stays
// listed: its own Leave unlists it.
std::shared_ptr<TTrackedConnection> TConnectionLimit::TakeLongestWaiting() {
  for (const auto& listed : waiting_) {
    if (auto longest = listed.lock()) {
      Unlist(*longest);
      return longest;
    }
  }
  return nullptr;
}

bool TConnectionLimit::Admit() {
  std::shared_ptr<TTrackedConnection> dropped;
  {
    const std::lock_guard lock(mutex_);
    if (count_ >= Cap()) {
      dropped = TakeLongestWaiting();
      if (!dropped) {
        return false;
      }
    }
    ++count_;
  }
  if (dropped) {
    dropped->Drop();
  }
  return true;
}

void TConnectionLimit::DropLongestWaiting() {
  std::shared_ptr<TTrackedConnection> dropped;
  {
    const std::lock_guard lock(mutex_);
    dropped = TakeLongestWaiting();
  }
  if (dropped) {
    dropped->Drop();
  }
}

void TConnectionLimit::CloseIdle() {
  std::vector<std::shared_ptr<TTrackedConnection>> waiting;
  {
    const std::lock_guard lock(mutex_);
    for (const auto& listed : waiting_) {
      if (auto connection = listed.lock()) {
        waiting.push_back(std::move(connection));
      }
    }
  }
  for (const auto& connection : waiting) {
    connection->CloseIfIdle();
  }
}

std::size_t TConnectionLimit::Held() {
  const std::lock_guard lock(mutex_);
  return count_;
}

void TConnectionLimit::Waiting(const std::shared_ptr<TTrackedConnection>& connection) {
  const std::lock_guard lock(mutex_);
  if (connection->listed_) {
    waiting_.splice(waiting_.end(), waiting_, connection->place_);
    return;
  }
  connection->place_ = waiting_.insert(waiting_.end(), connection);
  connection->listed_ = true;
}

void TConnectionLimit::Busy(TTrackedConnection& connection) {
  const std::lock_guard lock(mutex_);
  Unlist(connection);
}

void TConnectionLimit::Leave(TTrackedConnection& connection) {
  const std::lock_guard lock(mutex_);
  Unlist(connection);
  --count_;
}

void TConnectionLimit::Unlist(TTrackedConnection& connection) {
  if (connection.listed_) {
    waiting_.erase(connection.place_);
    connection.listed_ = false;
  }
}

}  // namespace tomelet::serve
