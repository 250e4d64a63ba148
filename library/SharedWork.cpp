#include "library/SharedWork.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tomelet::library {
namespace {

// Offers left behind by searches that finished on their own are dropped beyond this many.
constexpr std::size_t kMostOffers = 64;

// One call's jobs, taken one at a time by whoever comes first.
struct TBatch {
  const std::function<void(std::size_t)>* Job;
  std::size_t Count;
  std::atomic<std::size_t> Next{0};
  std::mutex Lock;
  std::condition_variable Finished;
  std::size_t Done = 0;
  std::exception_ptr Failure;

  // Runs jobs until none is left to take.
  void Take() {
    for (std::size_t i = Next++; i < Count; i = Next++) {
      std::exception_ptr failure;
      try {
        (*Job)(i);
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard guard(Lock);
      if (failure && !Failure) {
        Failure = failure;
      }
      if (++Done == Count) {
        Finished.notify_all();
      }
    }
  }
};

class THelpers {
 public:
  // One processor is the caller's.
  THelpers() {
    const unsigned helpers = std::max(1u, std::thread::hardware_concurrency()) - 1;
    for (unsigned i = 0; i < helpers; ++i) {
      threads_.emplace_back([this] { Work(); });
    }
  }

  ~THelpers() {
    {
      const std::lock_guard guard(lock_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
      thread.join();
    }
  }

  THelpers(const THelpers&) = delete;
  THelpers& operator=(const THelpers&) = delete;

  std::size_t Count() const { return threads_.size(); }

  // Lets up to helpers threads join the batch.
  void Offer(const std::shared_ptr<TBatch>& batch, std::size_t helpers) {
    {
      const std::lock_guard guard(lock_);
      while (offers_.size() + helpers > kMostOffers && !offers_.empty()) {
        offers_.pop_front();
      }
      offers_.insert(offers_.end(), helpers, batch);
    }
    for (std::size_t i = 0; i < helpers; ++i) {
      wake_.notify_one();
    }
  }

 private:
  void Work() {
    while (true) {
      std::shared_ptr<TBatch> batch;
      {
        std::unique_lock guard(lock_);
        wake_.wait(guard, [this] { return stopping_ || !offers_.empty(); });
        if (stopping_) {
          return;
        }
        batch = std::move(offers_.front());
        offers_.pop_front();
      }
      batch->Take();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<TBatch>> offers_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

THelpers& Helpers() {
  static THelpers helpers;
  return helpers;
}

}  // namespace

void RunShared(std::size_t count, const std::function<void(std::size_t)>& job) {
  if (count == 0) {
    return;
  }
  auto batch = std::make_shared<TBatch>();
  batch->Job = &job;
  batch->Count = count;
  auto& helpers = Helpers();
  const std::size_t joining = std::min(helpers.Count(), count - 1);
  if (joining > 0) {
    helpers.Offer(batch, joining);
  }
  batch->Take();
  std::unique_lock guard(batch->Lock);
  batch->Finished.wait(guard, [&] { return batch->Done == batch->Count; });
  if (batch->Failure) {
    std::rethrow_exception(batch->Failure);
  }
}

}  // namespace tomelet::library
