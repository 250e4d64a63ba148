#include "serve/DocumentServer.h"

// Boost 1.74's asio uses std::exchange without including <utility> itself.
// clang-format off
#include <utility>
// clang-format on

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "library/Workers.h"
#include "serve/ConnectionLimit.h"
#include "serve/HttpSession.h"
#include "serve/ListenSocket.h"

namespace tomelet::serve {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// The threads asked for, else one per processor and at least least.
unsigned ThreadCount(unsigned asked, unsigned least) {
  return asked > 0 ? asked : std::max(least, std::thread::hardware_concurrency());
}

}  // namespace

std::string ShownAddress(const std::string& host, std::uint16_t port) {
  const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return shownHost + ":" + std::to_string(port);
}

// One event loop per thread, each connection living on one of them: no loop is shared, so
// threads never contend for a loop's queue or wake each other for work that is not theirs.
struct TDocumentServer::Impl {
  using TWorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

  Impl(const TSite& site, TServerSettings settings)
      : site(site),
        settings(std::move(settings)),
        loops(MakeLoops(ThreadCount(this->settings.Threads, 2))),
        acceptor(*loops.front()),
        signals(*loops.front()),
        hangUps(*loops.front()),
        retry(*loops.front()) {}

  static std::vector<std::unique_ptr<asio::io_context>> MakeLoops(unsigned count) {
    std::vector<std::unique_ptr<asio::io_context>> made;
    for (unsigned i = 0; i < count; ++i) {
      made.push_back(std::make_unique<asio::io_context>(1));
    }
    return made;
  }

  void Bind() {
    if (const auto inherited = InheritedListenSocket()) {
      Adopt(*inherited);
    } else {
      Listen();
    }
  }

  void Adopt(int descriptor) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("Cannot listen on the socket passed by the service manager: " +
                               std::string(std::strerror(errno)));
    }
    acceptor.assign(address.ss_family == AF_INET6 ? tcp::v6() : tcp::v4(), descriptor);
  }

  void Listen() {
    const tcp::endpoint endpoint(ListeningAddress(), settings.Port);
    try {
      acceptor.open(endpoint.protocol());
      acceptor.set_option(asio::socket_base::reuse_address(true));
      acceptor.bind(endpoint);
      acceptor.listen(asio::socket_base::max_listen_connections);
    } catch (const boost::system::system_error& e) {
      throw std::runtime_error("Cannot listen on " + ShownAddress(settings.Host, settings.Port) +
                               ": " + e.code().message());
    }
  }

  // The address given, or the first one its name resolves to ("localhost"); what looks like a
  // number is taken as a mistyped address, never looked up as a name.
  asio::ip::address ListeningAddress() {
    beast::error_code ec;
    const auto address = asio::ip::make_address(settings.Host, ec);
    if (!ec) {
      return address;
    }
    const bool numeric = settings.Host.find_first_not_of("0123456789.:") == std::string::npos;
    tcp::resolver::results_type found;
    if (!numeric) {
      found = tcp::resolver(*loops.front()).resolve(settings.Host, "", ec);
    }
    if (numeric || ec || found.empty()) {
      throw std::runtime_error("Cannot listen on " + settings.Host +
                               ": not an IPv4 or IPv6 address" +
                               (numeric ? "" : ", nor a name of this machine"));
    }
    return found.begin()->endpoint().address();
  }

  void AwaitHangUp() {
    hangUps.async_wait([this](beast::error_code ec, int) {
      if (!ec) {
        reload();
        AwaitHangUp();
      }
    });
  }

  void StopLoops() {
    for (auto& loop : loops) {
      loop->stop();
    }
  }

  // Runs on the first loop, which owns the acceptor and the timer.
  void BeginDrain() {
    if (draining.exchange(true)) {
      return;
    }
    beast::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    limit.CloseIdle();
    drainEnd = std::chrono::steady_clock::now() + kDrainGrace;
    WaitForLastConnection();
  }

  void WaitForLastConnection() {
    if (limit.Held() == 0 || std::chrono::steady_clock::now() >= drainEnd) {
      cutShort = limit.Held();
      StopLoops();
      return;
    }
    retry.expires_after(kDrainCheck);
    retry.async_wait([this](beast::error_code ec) {
      if (!ec) {
        WaitForLastConnection();
      }
    });
  }

  asio::io_context& NextLoop() {
    nextLoop = (nextLoop + 1) % loops.size();
    return *loops[nextLoop];
  }

  void Accept() {
    acceptor.async_accept(NextLoop(), [this](beast::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || (ec && draining)) {
        return;
      }
      if (ec) {
        // Out of descriptors (or any other refusal): make room and wait before trying again,
        // instead of spinning on an accept that keeps failing.
        limit.DropLongestWaiting();
        retry.expires_after(backOff);
        backOff = std::min(backOff * 2, kLongestBackOff);
        retry.async_wait([this](beast::error_code waited) {
          if (!waited) {
            Accept();
          }
        });
        return;
      }
      backOff = kShortestBackOff;
      if (!limit.Admit()) {
        beast::error_code ignored;
        socket.close(ignored);
      } else {
        socket.set_option(tcp::no_delay(true), ec);
        StartSession(std::move(socket), shared);
      }
      if (!draining) {
        Accept();
      }
    });
  }

  static constexpr auto kShortestBackOff = std::chrono::milliseconds(10);
  static constexpr auto kLongestBackOff = std::chrono::milliseconds(1000);
  static constexpr auto kDrainCheck = std::chrono::milliseconds(20);

  const TSite& site;
  TServerSettings settings;
  // Before the event loops, so sessions that the loops destroy still find it.
  TConnectionLimit limit{settings.MaxConnections};
  std::atomic<bool> draining = false;
  // The connections still open when the drain ran out of time.
  std::atomic<std::size_t> cutShort = 0;
  TSessionShared shared{site, settings, limit, slowWork, draining};
  std::vector<std::unique_ptr<asio::io_context>> loops;
  std::shared_ptr<library::TWorkers> workers =
      settings.Workers ? settings.Workers
                       : std::make_shared<library::TWorkers>(settings.SearchThreads);
  // After the event loops, so it goes first: searches still queued hold sessions, which need
  // their loop.
  library::TWorkQueue slowWork{*workers, settings.SearchQueue};
  std::vector<TWorkGuard> keepRunning;
  std::size_t nextLoop = 0;
  tcp::acceptor acceptor;
  asio::signal_set signals;
  asio::signal_set hangUps;
  std::function<void()> reload;
  asio::steady_timer retry;
  std::chrono::milliseconds backOff = kShortestBackOff;
  std::chrono::steady_clock::time_point drainEnd;
  std::vector<std::thread> threads;
};

TDocumentServer::TDocumentServer(const TSite& site, TServerSettings settings)
    : impl_(std::make_unique<Impl>(site, std::move(settings))) {
  impl_->Bind();
}

TDocumentServer::~TDocumentServer() {
  Stop();
  Wait();
}

std::uint16_t TDocumentServer::Port() const {
  return impl_->acceptor.local_endpoint().port();
}

std::string TDocumentServer::Host() const {
  return impl_->acceptor.local_endpoint().address().to_string();
}

bool TDocumentServer::IsLoopback() const {
  const auto address = impl_->acceptor.local_endpoint().address();
  // An IPv4 address written in IPv6 ("::ffff:127.0.0.1") is the same address.
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).is_loopback();
  }
  return address.is_loopback();
}

void TDocumentServer::StopOnSignals() {
  impl_->signals.add(SIGINT);
  impl_->signals.add(SIGTERM);
  impl_->signals.async_wait([this](beast::error_code ec, int) {
    if (ec) {
      return;
    }
    impl_->BeginDrain();
    impl_->signals.async_wait([this](beast::error_code again, int) {
      if (!again) {
        Stop();
      }
    });
  });
}

void TDocumentServer::ReloadOnHangUp(std::function<void()> reload) {
  impl_->reload = std::move(reload);
  impl_->hangUps.add(SIGHUP);
  impl_->AwaitHangUp();
}

void TDocumentServer::Start() {
  impl_->Accept();
  for (auto& loop : impl_->loops) {
    impl_->keepRunning.emplace_back(loop->get_executor());
    impl_->threads.emplace_back([&loop = *loop] { loop.run(); });
  }
}

void TDocumentServer::Wait() {
  for (auto& thread : impl_->threads) {
    if (thread.joinable()) {
      thread.join();
    }
  }
  impl_->threads.clear();
}

std::size_t TDocumentServer::CutShort() const {
  return impl_->cutShort;
}

void TDocumentServer::Stop() {
  impl_->StopLoops();
}

}  // namespace tomelet::serve
