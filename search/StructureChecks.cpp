// The structure checks of indexes, in children of a helper process, several in one child when
// several are asked for at once: the first search across a library checks each of its indexes,
// and a fork, with the child's first calls into Xapian, cost more than a small index's check.
#include <unistd.h>
#include <xapian.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/process/ChildProcess.h"
#include "search/SoundIndexes.h"

namespace tomelet::search {
namespace {

// A child checking together more than this many bytes of indexes could outlast the time allowed
// a check; a larger index is checked alone.
constexpr std::int64_t kMostBytesTogether = std::int64_t{32} << 20;

// In the helper's child: Xapian takes the descriptor over and closes it. It is placed at the
// database here, since a child forked again after one that stalled finds it moved.
int CheckInChild(int fd, std::int64_t offset) {
  try {
    if (::lseek(fd, offset, SEEK_SET) != offset) {
      return kStructureDamaged;
    }
    return Xapian::Database::check(fd, 0) == 0 ? kStructureSound : kStructureDamaged;
  } catch (const Xapian::DatabaseVersionError&) {
    return kStructureNewer;
  } catch (...) {
    // Damaged lengths surface from the checker as standard exceptions too.
    return kStructureDamaged;
  }
}

TForkedHelpers& StructureCheckers() {
  static TForkedHelpers helpers(CheckInChild, kStructureDamaged);
  return helpers;
}

TStructureVerdict VerdictOf(int code) {
  return code == kStructureSound || code == kStructureNewer ? static_cast<TStructureVerdict>(code)
                                                            : kStructureDamaged;
}

// A check asked for on one thread, which waits for its verdict or its failure.
struct TAsked {
  TStructureCheck Check;
  bool Taken = false;
  std::optional<TStructureVerdict> Verdict;
  std::exception_ptr Failure;
};

// The checks asked for and not yet taken to a child, and how many children may start now.
class TCheckQueue {
 public:
  TStructureVerdict Check(const TStructureCheck& check);

 private:
  std::vector<TAsked*> TakeTogether(TAsked& first);
  void Run(const std::vector<TAsked*>& together);

  std::mutex lock_;
  std::condition_variable answered_;
  std::deque<TAsked*> waiting_;
  std::size_t free_ = std::max(1U, std::thread::hardware_concurrency());
};

// Under lock_: the first asked, then those waiting longest, no more than their share among the
// children free now, so that each core gets checks while many wait.
std::vector<TAsked*> TCheckQueue::TakeTogether(TAsked& first) {
  const std::size_t share = (waiting_.size() + free_ - 1) / free_;
  std::vector<TAsked*> together{&first};
  std::int64_t bytes = first.Check.Length;
  for (auto* asked : waiting_) {
    if (together.size() >= std::min(share, TForkedHelpers::kMostTasks)) {
      break;
    }
    if (asked != &first && bytes + asked->Check.Length <= kMostBytesTogether) {
      together.push_back(asked);
      bytes += asked->Check.Length;
    }
  }
  for (auto* asked : together) {
    asked->Taken = true;
    waiting_.erase(std::find(waiting_.begin(), waiting_.end(), asked));
  }
  return together;
}

// Outside lock_.
void TCheckQueue::Run(const std::vector<TAsked*>& together) {
  try {
    std::vector<TStructureCheck> checks;
    for (const auto* asked : together) {
      checks.push_back(asked->Check);
    }
    const auto verdicts = CheckStructures(checks);
    for (std::size_t i = 0; i < together.size(); ++i) {
      together[i]->Verdict = verdicts[i];
    }
  } catch (...) {
    for (auto* asked : together) {
      asked->Failure = std::current_exception();
    }
  }
}

TStructureVerdict TCheckQueue::Check(const TStructureCheck& check) {
  TAsked asked{check, false, std::nullopt, nullptr};
  std::unique_lock guard(lock_);
  waiting_.push_back(&asked);
  while (!asked.Verdict && !asked.Failure) {
    if (asked.Taken || free_ == 0) {
      answered_.wait(guard);
      continue;
    }
    const auto together = TakeTogether(asked);
    --free_;
    guard.unlock();
    Run(together);
    guard.lock();
    ++free_;
    answered_.notify_all();
  }
  if (asked.Failure) {
    std::rethrow_exception(asked.Failure);
  }
  return *asked.Verdict;
}

TCheckQueue& Queue() {
  static TCheckQueue queue;
  return queue;
}

}  // namespace

void PrepareStructureChecks() {
  StructureCheckers().Prepare();
}

std::vector<TStructureVerdict> CheckStructures(std::span<const TStructureCheck> checks) {
  std::vector<TForkedHelpers::TTask> tasks;
  for (const auto& check : checks) {
    tasks.push_back({check.Fd, check.Offset});
  }
  std::vector<TStructureVerdict> verdicts;
  for (const int code : StructureCheckers().RunEach(tasks)) {
    verdicts.push_back(VerdictOf(code));
  }
  return verdicts;
}

TStructureVerdict CheckStructure(const TStructureCheck& check) {
  return Queue().Check(check);
}

}  // namespace tomelet::search
