#include "tools/tomelet/serve/ConnectionLimit.h"

#include <sys/resource.h>

#include <algorithm>

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

std::shared_ptr<TIdleConnection> TConnectionLimit::TakeOldestWaiting() {
  while (!waiting_.empty()) {
    auto oldest = waiting_.front().lock();
    if (oldest) {
      Unlist(*oldest);
      return oldest;
    }
    waiting_.pop_front();
  }
  return nullptr;
}

bool TConnectionLimit::Admit() {
  std::shared_ptr<TIdleConnection> dropped;
  {
    const std::lock_guard lock(mutex_);
    if (count_ >= Cap()) {
      dropped = TakeOldestWaiting();
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

void TConnectionLimit::DropOldestWaiting() {
  std::shared_ptr<TIdleConnection> dropped;
  {
    const std::lock_guard lock(mutex_);
    dropped = TakeOldestWaiting();
  }
  if (dropped) {
    dropped->Drop();
  }
}

void TConnectionLimit::Waiting(const std::shared_ptr<TIdleConnection>& connection) {
  const std::lock_guard lock(mutex_);
  if (!connection->waiting_) {
    connection->place_ = waiting_.insert(waiting_.end(), connection);
    connection->waiting_ = true;
  }
}

void TConnectionLimit::Busy(TIdleConnection& connection) {
  const std::lock_guard lock(mutex_);
  Unlist(connection);
}

void TConnectionLimit::Leave(TIdleConnection& connection) {
  const std::lock_guard lock(mutex_);
  Unlist(connection);
  --count_;
}

void TConnectionLimit::Unlist(TIdleConnection& connection) {
  if (connection.waiting_) {
    waiting_.erase(connection.place_);
    connection.waiting_ = false;
  }
}

}  // namespace tomelet::serve
