// SIGHUP as the manual "look at the served folders again" of a library server.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace tomelet::serve {

class THangUpReload {
 public:
  // Blocks SIGHUP in the calling thread, so make it before any other thread is started: they
  // inherit the mask and the signal then only reaches this listener, which calls reload.
  explicit THangUpReload(std::function<void()> reload);
  ~THangUpReload();
  THangUpReload(const THangUpReload&) = delete;
  THangUpReload& operator=(const THangUpReload&) = delete;

 private:
  std::atomic<bool> stopping_{false};
  std::thread listener_;
};

}  // namespace tomelet::serve
