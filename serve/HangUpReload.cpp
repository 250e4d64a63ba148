#include "serve/HangUpReload.h"

#include <signal.h>

#include <ctime>

namespace tomelet::serve {
namespace {

sigset_t HangUpOnly() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

THangUpReload::THangUpReload(std::function<void()> reload) {
  const sigset_t set = HangUpOnly();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  listener_ = std::thread([this, reload = std::move(reload), set] {
    // Waits in short turns so that the destructor never waits long for the thread.
    const timespec turn{0, 200'000'000};
    while (!stopping_) {
      if (sigtimedwait(&set, nullptr, &turn) == SIGHUP) {
        reload();
      }
    }
  });
}

THangUpReload::~THangUpReload() {
  stopping_ = true;
  listener_.join();
}

}  // namespace tomelet::serve
