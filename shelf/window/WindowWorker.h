// Work done off the window's thread with its answer carried back to it. Each kind of job keeps
// only its newest request, so a reader typing fast never waits for searches already outdated.
#pragma once

#include <glibmm/dispatcher.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tomelet::shelf {

class TWindowWorker {
 public:
  // What a job gives back, run on the window's thread.
  using TAnswer = std::function<void()>;
  using TJob = std::function<TAnswer()>;

  // Made on the window's thread, whose main loop then runs the answers.
  TWindowWorker();
  // Waits for the job under way; answers not yet run are dropped.
  ~TWindowWorker();
  TWindowWorker(const TWindowWorker&) = delete;
  TWindowWorker& operator=(const TWindowWorker&) = delete;

  // Queues job, replacing a job of the same kind still waiting.
  void Post(int kind, TJob job);

 private:
  void Work();
  void Answer();

  std::mutex lock_;
  std::condition_variable wake_;
  std::map<int, TJob> waiting_;
  std::deque<TAnswer> answers_;
  bool stopping_ = false;
  Glib::Dispatcher answered_;
  std::thread thread_;
};

}  // namespace tomelet::shelf
