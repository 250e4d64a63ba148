#include "serve/WorkPool.h"

#include <algorithm>

namespace tomelet::serve {

TWorkPool::TWorkPool(unsigned threads, std::size_t queueLimit) : queueLimit_(queueLimit) {
  for (unsigned i = 0; i < threads; ++i) {
    threads_.emplace_back([this] { Work(); });
  }
}

TWorkPool::~TWorkPool() {
  std::deque<TJob> dropped;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped.swap(queue_);
  }
  wake_.notify_all();
  for (auto& thread : threads_) {
    thread.join();
  }
}

bool TWorkPool::Submit(std::function<void()> job, std::function<bool()> wanted) {
  // Destroyed once the lock is released: a job may hold the last reference to its session.
  std::deque<TJob> unwanted;
  {
    const std::lock_guard lock(mutex_);
    if (queue_.size() >= queueLimit_) {
      const auto kept = std::stable_partition(queue_.begin(), queue_.end(),
                                              [](const TJob& waiting) { return waiting.Wanted(); });
      unwanted.assign(std::make_move_iterator(kept), std::make_move_iterator(queue_.end()));
      queue_.erase(kept, queue_.end());
    }
    if (stopping_ || queue_.size() >= queueLimit_) {
      return false;
    }
    queue_.push_back({std::move(job), std::move(wanted)});
  }
  wake_.notify_one();
  return true;
}

void TWorkPool::Work() {
  while (true) {
    TJob job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) {
        return;
      }
      job = std::move(queue_.front());
      queue_.pop_front();
      if (!job.Wanted()) {
        continue;
      }
    }
    job.Run();
  }
}

}  // namespace tomelet::serve
