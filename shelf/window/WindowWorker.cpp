#include "shelf/window/WindowWorker.h"

namespace tomelet::shelf {

TWindowWorker::TWindowWorker() : thread_([this] { Work(); }) {
  answered_.connect([this] { Answer(); });
}

TWindowWorker::~TWindowWorker() {
  {
    const std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TWindowWorker::Post(int kind, TJob job) {
  {
    const std::lock_guard guard(lock_);
    waiting_[kind] = std::move(job);
  }
  wake_.notify_one();
}

void TWindowWorker::Work() {
  std::unique_lock guard(lock_);
  while (true) {
    wake_.wait(guard, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_)
      return;
    TJob job = std::move(waiting_.begin()->second);
    waiting_.erase(waiting_.begin());
    guard.unlock();
    TAnswer answer = job();
    guard.lock();
    if (answer) {
      answers_.push_back(std::move(answer));
      answered_.emit();
    }
  }
}

void TWindowWorker::Answer() {
  std::deque<TAnswer> ready;
  {
    const std::lock_guard guard(lock_);
    ready.swap(answers_);
  }
  for (auto& answer : ready)
    answer();
}

}  // namespace tomelet::shelf
