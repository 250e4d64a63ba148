#include "tools/tomelet/serve/WorkPool.h"

namespace tomelet::serve {

TWorkPool::TWorkPool(unsigned threads, std::size_t queueLimit) : queueLimit_(queueLimit) {
  for (unsigned i = 0; i < threads; ++i) {
    threads_.emplace_back([this] { Work(); });
  }
}

TWorkPool::~TWorkPool() {
  std::deque<std::function<void()>> dropped;
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

bool TWorkPool::Submit(std::function<void()> job) {
  {
    const std::lock_guard lock(mutex_);
    if (stopping_ || queue_.size() >= queueLimit_) {
      return false;
    }
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void TWorkPool::Work() {
  while (true) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) {
        return;
      }
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    job();
  }
}

}  // namespace tomelet::serve
