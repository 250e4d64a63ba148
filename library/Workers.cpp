#include "library/Workers.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <utility>

namespace tomelet::library {
namespace {

// One RunAll's jobs, taken one at a time by whoever comes first.
struct TBatch {
  const std::function<void(std::size_t)>* Job;
  std::size_t Count;
  std::atomic<std::size_t> Next{0};
  std::mutex Lock;
  std::condition_variable Finished;
  std::size_t Done = 0;
  std::exception_ptr Failure;

  bool HasJobsLeft() const { return Next < Count; }

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

}  // namespace

TWorkers::TWorkers(unsigned threads) {
  const unsigned count = threads > 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < count; ++i) {
    threads_.emplace_back([this] { Work(); });
  }
}

TWorkers::~TWorkers() {
  std::deque<TJob> dropped;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
  }
  wake_.notify_all();
  for (auto& thread : threads_) {
    thread.join();
  }
}

void TWorkers::Work() {
  while (true) {
    TJob job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
      if (job.Queue) {
        --job.Queue->waiting_;
      }
      if (!job.Wanted()) {
        continue;
      }
      if (job.Queue) {
        ++job.Queue->running_;
      }
    }
    job.Run();
    // What the job held goes before its queue hears that it has finished.
    TWorkQueue* const queue = std::exchange(job, TJob{}).Queue;
    if (queue) {
      const std::lock_guard lock(mutex_);
      --queue->running_;
      finished_.notify_all();
    }
  }
}

void TWorkers::RunAll(std::size_t count, const std::function<void(std::size_t)>& job) {
  if (count == 0) {
    return;
  }
  auto batch = std::make_shared<TBatch>();
  batch->Job = &job;
  batch->Count = count;
  const std::size_t helpers = std::min<std::size_t>(threads_.size(), count - 1);
  {
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < helpers; ++i) {
      jobs_.push_front({[batch] { batch->Take(); }, [batch] { return batch->HasJobsLeft(); }});
    }
  }
  for (std::size_t i = 0; i < helpers; ++i) {
    wake_.notify_one();
  }
  batch->Take();
  std::unique_lock guard(batch->Lock);
  batch->Finished.wait(guard, [&] { return batch->Done == batch->Count; });
  if (batch->Failure) {
    std::rethrow_exception(batch->Failure);
  }
}

TWorkQueue::TWorkQueue(TWorkers& workers, std::size_t limit) : workers_(workers), limit_(limit) {}

TWorkQueue::~TWorkQueue() {
  std::vector<TWorkers::TJob> dropped;
  std::unique_lock lock(workers_.mutex_);
  auto& jobs = workers_.jobs_;
  const auto ours = std::stable_partition(jobs.begin(), jobs.end(),
                                          [this](const auto& job) { return job.Queue != this; });
  dropped.assign(std::make_move_iterator(ours), std::make_move_iterator(jobs.end()));
  jobs.erase(ours, jobs.end());
  workers_.finished_.wait(lock, [this] { return running_ == 0; });
  lock.unlock();
}

bool TWorkQueue::Submit(std::function<void()> job, std::function<bool()> wanted) {
  // Destroyed once the lock is released: a job may hold the last reference to its client.
  std::vector<TWorkers::TJob> unwanted;
  {
    const std::lock_guard lock(workers_.mutex_);
    auto& jobs = workers_.jobs_;
    if (waiting_ >= limit_) {
      const auto gone = std::stable_partition(jobs.begin(), jobs.end(), [this](const auto& job) {
        return job.Queue != this || job.Wanted();
      });
      unwanted.assign(std::make_move_iterator(gone), std::make_move_iterator(jobs.end()));
      jobs.erase(gone, jobs.end());
      waiting_ -= unwanted.size();
    }
    if (workers_.stopping_ || waiting_ >= limit_) {
      return false;
    }
    jobs.push_back({std::move(job), std::move(wanted), this});
    ++waiting_;
  }
  workers_.wake_.notify_one();
  return true;
}

}  // namespace tomelet::library
