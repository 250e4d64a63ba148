// The documents of a library now open, most recently used first: beyond the limit the least
// recently used are closed, so a library of hundreds holds only the few in use.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "library/Library.h"

namespace tomelet::library {

class TOpenDocuments {
 public:
  explicit TOpenDocuments(std::size_t limit);
  ~TOpenDocuments();
  TOpenDocuments(const TOpenDocuments&) = delete;
  TOpenDocuments& operator=(const TOpenDocuments&) = delete;

  // The document was used: it goes first, and the least recently used beyond the limit are
  // closed. Call without holding the document's lock.
  void Used(const TLibraryDocument& document);
  // An index has finished its work: documents kept open only while their index worked may be
  // closed now. Their indexes are let go on a thread of this account's own, never on the
  // thread of an index, which could not wait for itself.
  void Settled();
  // The document goes away.
  void Forget(const TLibraryDocument& document);
  std::size_t Limit() const { return limit_; }

 private:
  using TOrder = std::list<const TLibraryDocument*>;

  // Closes the least recently used beyond the limit, all but the first, into closed.
  void CloseBeyondLimit(std::vector<TLibraryDocument::THeld>& closed);
  void CloseWhenSettled();

  std::size_t limit_;
  std::mutex lock_;
  TOrder order_;
  std::unordered_map<const TLibraryDocument*, TOrder::iterator> places_;
  bool settled_ = false;
  bool stopping_ = false;
  std::condition_variable wake_;
  std::thread closer_;
};

}  // namespace tomelet::library
