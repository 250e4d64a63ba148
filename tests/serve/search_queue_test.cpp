// Searches wait for their own threads in a bounded queue. A client that hangs up while its search
// waits must give up its place: after a burst of clients that gave up, the next one is served
// rather than told "too many searches", and the searches nobody waits for are never run.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/DocumentServer.h"
#include "serve/DocumentSite.h"
#include "serve/Replies.h"
#include "tests/serve/serve_process.h"

namespace tomelet::serve::testing {
namespace {

using namespace std::chrono_literals;

// Every "/search?q=..." is slow: it waits until the test opens the gate, and counts the
// queries it answered.
class TGatedSearchSite final : public TSite {
 public:
  TSiteResponse Respond(const TSiteRequest& request) const override {
    if (!IsSlow(request.Target)) {
      return StatusPage(200, "Page", "page");
    }
    std::unique_lock lock(mutex_);
    ++started_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    answered_.emplace_back(request.Target);
    return StatusPage(200, "Found", "found");
  }

  bool IsSlow(std::string_view target) const override { return target.starts_with("/search"); }

  void WaitUntilStarted(int count) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_ >= count; });
  }

  void Open() const {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

  std::vector<std::string> Answered() const {
    const std::lock_guard lock(mutex_);
    return answered_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable int started_ = 0;
  mutable bool open_ = false;
  mutable std::vector<std::string> answered_;
};

int Ask(std::uint16_t port, const std::string& target) {
  const int fd = LoopbackConnection(port);
  const std::string request = "GET " + target + " HTTP/1.1\r\nHost: tomelet\r\n\r\n";
  EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  return fd;
}

// The status of the reply that arrives within `within`, 0 when none does.
int StatusWithin(int fd, std::chrono::milliseconds within) {
  pollfd wait{fd, POLLIN, 0};
  if (::poll(&wait, 1, static_cast<int>(within.count())) <= 0) {
    return 0;
  }
  char head[64] = {};
  if (::recv(fd, head, sizeof head - 1, 0) < 12) {
    return 0;
  }
  return std::stoi(std::string(head + 9, 3));
}

TEST(SearchQueueTest, ClientsThatHangUpWhileWaitingLeaveTheirPlaceAndTheirSearchUnrun) {
  TGatedSearchSite site;
  TServerSettings settings;
  settings.SearchThreads = 1;
  settings.SearchQueue = 4;
  TDocumentServer server(site, settings);
  server.Start();

  const int first = Ask(server.Port(), "/search?q=first");
  site.WaitUntilStarted(1);
  for (int i = 0; i < 4; ++i) {
    ::close(Ask(server.Port(), "/search?q=gone" + std::to_string(i)));
  }

  // A hang-up is noticed as soon as it reaches the server; until then the queue may still be
  // full, and the newcomer is asked to come back, as a browser would be.
  int next = -1;
  for (int attempt = 0; attempt < 40 && next < 0; ++attempt) {
    const int fd = Ask(server.Port(), "/search?q=next");
    if (StatusWithin(fd, 100ms) == 0) {
      next = fd;
    } else {
      ::close(fd);
    }
  }
  const int page = Ask(server.Port(), "/page.htm");
  EXPECT_EQ(StatusWithin(page, 2000ms), 200) << "a page must not wait for searches";
  ::close(page);
  if (next < 0) {
    site.Open();
    FAIL() << "every newcomer was turned away";
  }

  site.Open();
  EXPECT_EQ(StatusWithin(first, 5000ms), 200);
  EXPECT_EQ(StatusWithin(next, 5000ms), 200);
  EXPECT_EQ(site.Answered(), (std::vector<std::string>{"/search?q=first", "/search?q=next"}));
  ::close(first);
  ::close(next);
  server.Stop();
  server.Wait();
}

}  // namespace
}  // namespace tomelet::serve::testing
