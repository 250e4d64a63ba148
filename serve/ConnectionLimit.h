// How many connections the server holds at once: below the process's descriptor limit, so
// accepting never runs out of descriptors, and, when full, room is made by dropping the
// connection that has gone longest without progress (waiting for a request, or for its client
// to take more of a reply), so a new client is always answered.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>

namespace tomelet::serve {

class TTrackedConnection {
 public:
  virtual ~TTrackedConnection() = default;
  // Closes the connection; safe from any thread.
  virtual void Drop() = 0;
  // Closes the connection if it waits for a request of which nothing has arrived yet, so a
  // server that is stopping lets go of idle clients at once; safe from any thread.
  virtual void CloseIfIdle() = 0;

 private:
  friend class TConnectionLimit;
  bool listed_ = false;
  std::list<std::weak_ptr<TTrackedConnection>>::iterator place_;
};

class TConnectionLimit {
 public:
  // cap 0: the descriptor limit less a reserve, read again at every admission.
  explicit TConnectionLimit(unsigned cap) : cap_(cap) {}

  // Counts a new connection in; at the cap, drops the one that has gone longest without
  // progress. False only when every held connection is being worked on by the server itself.
  bool Admit();
  // The connection now waits on its client, from this moment: for a request, or for the client
  // to take the next part of a reply. Called again at each step of progress.
  void Waiting(const std::shared_ptr<TTrackedConnection>& connection);
  // The server itself works on the connection's request; it cannot be dropped meanwhile.
  void Busy(TTrackedConnection& connection);
  // Counts a closed connection out.
  void Leave(TTrackedConnection& connection);
  // Drops the connection that has gone longest without progress, if any.
  void DropLongestWaiting();
  // Asks every connection that waits on its client to close if it is idle.
  void CloseIdle();
  // How many connections are counted in.
  std::size_t Held();

 private:
  std::size_t Cap() const;
  void Unlist(TTrackedConnection& connection);
  // Called with the mutex held.
  std::shared_ptr<TTrackedConnection> TakeLongestWaiting();

  unsigned cap_;
  std::mutex mutex_;
  std::size_t count_ = 0;
  // Oldest progress first.
  std::list<std::weak_ptr<TTrackedConnection>> waiting_;
};

}  // namespace tomelet::serve
