// A few threads of their own for slow answers (searches), with a bounded queue, so they never
// hold up the threads that serve pages and never pile up without end.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tomelet::serve {

class TWorkPool {
 public:
  // threads run the jobs; at most queueLimit jobs wait for a thread.
  TWorkPool(unsigned threads, std::size_t queueLimit);
  // Runs no job that has not started; waits for those running.
  ~TWorkPool();
  TWorkPool(const TWorkPool&) = delete;
  TWorkPool& operator=(const TWorkPool&) = delete;

  // Queues the job; false, with the job dropped, when the queue is full.
  bool Submit(std::function<void()> job);

 private:
  void Work();

  std::size_t queueLimit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tomelet::serve
