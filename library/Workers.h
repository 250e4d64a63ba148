// The threads a process does its long work on, made once by the front end and handed to whoever
// needs them: a server's slow requests wait in a bounded queue of their own, and one search
// across a library spreads its documents over whichever threads are idle.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tomelet::library {

class TWorkQueue;

class TWorkers {
 public:
  // 0 threads: one per processor.
  explicit TWorkers(unsigned threads = 0);
  // Runs no job that has not started; waits for those running.
  ~TWorkers();
  TWorkers(const TWorkers&) = delete;
  TWorkers& operator=(const TWorkers&) = delete;

  unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }

  // Runs job(0) ... job(count - 1), each once, on the calling thread and on the threads idle
  // meanwhile, and returns when all have run. The caller takes jobs too, so it never waits for
  // threads busy with other work: on a loaded server each search simply runs on its own thread.
  // Rethrows the first exception a job threw.
  void RunAll(std::size_t count, const std::function<void(std::size_t)>& job);

 private:
  friend class TWorkQueue;
  struct TJob {
    std::function<void()> Run;
    std::function<bool()> Wanted;
    // Null for a share of RunAll's work, which goes ahead of every queue.
    TWorkQueue* Queue = nullptr;
  };

  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  // Tells queues that one of their jobs has finished.
  std::condition_variable finished_;
  std::deque<TJob> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Jobs on the workers, at most a limit of them waiting. A waiting job that is no longer wanted
// (its client has gone) is never run and gives its place to a new one. When the queue goes, its
// waiting jobs are dropped and its running ones waited for, so none outlives what it uses.
class TWorkQueue {
 public:
  TWorkQueue(TWorkers& workers, std::size_t limit);
  ~TWorkQueue();
  TWorkQueue(const TWorkQueue&) = delete;
  TWorkQueue& operator=(const TWorkQueue&) = delete;

  // Queues the job, to be run only if wanted() still holds when a thread takes it; false, with
  // the job dropped, when the queue is full of jobs still wanted. wanted is called under the
  // workers' lock, so it must be quick and take no lock of its own.
  bool Submit(std::function<void()> job, std::function<bool()> wanted);

 private:
  friend class TWorkers;
  TWorkers& workers_;
  std::size_t limit_;
  // Guarded by the workers' lock.
  std::size_t waiting_ = 0;
  std::size_t running_ = 0;
};

}  // namespace tomelet::library
