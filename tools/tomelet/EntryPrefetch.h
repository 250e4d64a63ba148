// Reads a list of entries on threads of their own, a bounded amount ahead of the thread that
// writes them, so that inflating entries overlaps writing the ones before. The reading is
// spread over one thread per core, and the entries come out in the list's order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "document/Document.h"

namespace tomelet::cli {

class TEntryPrefetch {
 public:
  // document must outlive this object. Each entry's checksum is checked.
  TEntryPrefetch(const TDocument& document, std::vector<int> indices);
  ~TEntryPrefetch();
  TEntryPrefetch(const TEntryPrefetch&) = delete;
  TEntryPrefetch& operator=(const TEntryPrefetch&) = delete;

  // The contents of the next entry of the list. An entry of ordinary size comes inflated and
  // checked; a larger one is inflated as it is read. Raises what reading the entry raised; the
  // entries after a damaged one still come.
  std::unique_ptr<TEntryReader> Next();

 private:
  struct Item {
    std::unique_ptr<TEntryReader> contents;
    std::exception_ptr error;
    std::int64_t heldBytes = 0;
  };

  // Reads every lanes-th entry of the list, from the lane-th on.
  void Run(const std::stop_token& stop, std::size_t lane);
  Item Read(int index) const;
  bool Push(std::size_t lane, Item item, const std::stop_token& stop);

  const TDocument& document_;
  const std::vector<int> indices_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<std::deque<Item>> ready_;
  std::size_t taken_ = 0;
  std::int64_t heldBytes_ = 0;
  std::vector<std::jthread> workers_;
};

}  // namespace tomelet::cli
