#include "library/ReadyIndexes.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>

#include "library/Workers.h"
#include "search/DocumentIndex.h"

namespace tomelet::library {
namespace {

// A search waits this long at most for indexes still being opened (each is checked whole before
// its first use), so that the first search after a start finds them, yet one across hundreds of
// unopened documents still answers.
constexpr auto kLongestOpeningWait = std::chrono::seconds(2);
constexpr auto kOpeningPoll = std::chrono::milliseconds(5);

// The state of each index (null: the document cannot be read) once it is open or
// kLongestOpeningWait has gone.
std::vector<search::TBackgroundIndex::TState> StatesOnceOpened(
    const std::vector<std::shared_ptr<search::TBackgroundIndex>>& indexes) {
  std::vector<search::TBackgroundIndex::TState> states(indexes.size());
  const auto deadline = std::chrono::steady_clock::now() + kLongestOpeningWait;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    while (indexes[i]) {
      states[i] = indexes[i]->State();
      if (!states[i].Opening || std::chrono::steady_clock::now() >= deadline) {
        break;
      }
      std::this_thread::sleep_for(kOpeningPoll);
    }
  }
  return states;
}

}  // namespace

void RunAll(TWorkers* workers, std::size_t count, const std::function<void(std::size_t)>& job) {
  if (workers) {
    workers->RunAll(count, job);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    job(i);
  }
}

std::vector<std::size_t> LargestFirst(std::size_t count,
                                      const std::function<std::uint64_t(std::size_t)>& size) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return size(a) > size(b); });
  return order;
}

std::vector<std::vector<const TLibraryDocument*>> InGroups(
    const std::vector<const TLibraryDocument*>& documents, std::size_t heldAtOnce) {
  std::vector<std::vector<const TLibraryDocument*>> groups;
  const std::size_t size = std::max<std::size_t>(heldAtOnce, 1);
  for (std::size_t first = 0; first < documents.size(); first += size) {
    const auto begin = documents.begin() + static_cast<std::ptrdiff_t>(first);
    groups.emplace_back(
        begin, begin + static_cast<std::ptrdiff_t>(std::min(size, documents.size() - first)));
  }
  return groups;
}

std::vector<TSearched> ReadyIndexes(const std::vector<const TLibraryDocument*>& inScope,
                                    TLibraryResults& results, TWorkers* workers) {
  std::vector<std::shared_ptr<search::TBackgroundIndex>> indexes(inScope.size());
  const auto start = [&](std::size_t i) {
    try {
      indexes[i] = inScope[i]->Index();
      indexes[i]->State();
    } catch (const std::exception&) {
      indexes[i] = nullptr;
    }
  };
  // Documents not yet open are opened each on its own thread before the first index is waited
  // for; an open one's index is at hand.
  std::vector<std::size_t> closed;
  for (std::size_t i = 0; i < inScope.size(); ++i) {
    if (inScope[i]->IsOpen()) {
      start(i);
    } else {
      closed.push_back(i);
    }
  }
  RunAll(workers, closed.size(), [&](std::size_t i) { start(closed[i]); });
  auto states = StatesOnceOpened(indexes);
  std::vector<TSearched> ready;
  for (std::size_t i = 0; i < inScope.size(); ++i) {
    if (states[i].Index) {
      ready.push_back({inScope[i], std::move(states[i].Index)});
    } else {
      (!indexes[i] || !states[i].Error.empty() ? results.Failed : results.Indexing)
          .push_back(inScope[i]->Name());
    }
  }
  return ready;
}

}  // namespace tomelet::library
