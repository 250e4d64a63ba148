// A few threads of their own for slow answers (searches), with a bounded queue, so they never
// hold up the threads that serve pages and never pile up without end. A waiting job that is no
// longer wanted (its client has gone) is never run and gives its place to a new one.
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

  // Queues the job, to be run only if wanted() still holds when a thread takes it; false, with
  // the job dropped, when the queue is full of jobs still wanted. wanted is called under the
  // pool's lock, so it must be quick and take no lock of its own.
  bool Submit(std::function<void()> job, std::function<bool()> wanted);

 private:
  struct TJob {
    std::function<void()> Run;
    std::function<bool()> Wanted;
  };

  void Work();

  std::size_t queueLimit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TJob> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tomelet::serve
