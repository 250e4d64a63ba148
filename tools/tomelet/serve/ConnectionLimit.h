// How many connections the server holds at once: below the process's descriptor limit, so
// accepting never runs out of descriptors, and, when full, room is made by dropping the
// connection that has waited longest for a request, never one that is being answered.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>

namespace tomelet::serve {

class TIdleConnection {
 public:
  virtual ~TIdleConnection() = default;
  // Closes the connection; safe from any thread.
  virtual void Drop() = 0;

 private:
  friend class TConnectionLimit;
  bool waiting_ = false;
  std::list<std::weak_ptr<TIdleConnection>>::iterator place_;
};

class TConnectionLimit {
 public:
  // cap 0: the descriptor limit less a reserve, read again at every admission.
  explicit TConnectionLimit(unsigned cap) : cap_(cap) {}

  // Counts a new connection in; at the cap, drops the longest-waiting one to make room. False
  // when every held connection is busy and the new one must be refused.
  bool Admit();
  // The connection waits for a request (and may be dropped) or is answering one.
  void Waiting(const std::shared_ptr<TIdleConnection>& connection);
  void Busy(TIdleConnection& connection);
  // Counts a closed connection out.
  void Leave(TIdleConnection& connection);
  void DropOldestWaiting();

 private:
  std::size_t Cap() const;
  void Unlist(TIdleConnection& connection);
  // Called with the mutex held.
  std::shared_ptr<TIdleConnection> TakeOldestWaiting();

  unsigned cap_;
  std::mutex mutex_;
  std::size_t count_ = 0;
  std::list<std::weak_ptr<TIdleConnection>> waiting_;
};

}  // namespace tomelet::serve
