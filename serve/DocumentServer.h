// The HTTP side of tomelet serve: accepts connections, parses requests with Boost.Beast, asks
// the document site for each reply and writes it, keeping connections alive between requests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tomelet::library {
class TWorkers;
}

namespace tomelet::serve {

class TSite;

struct TRequestRecord {
  std::string Method;
  std::string Target;
  int Status = 0;
  std::int64_t ContentLength = 0;
};

struct TServerSettings {
  std::string Host = "127.0.0.1";
  std::uint16_t Port = 0;
  // 0: one thread per processor, at least two.
  unsigned Threads = 0;
  // 0: as many as the descriptor limit allows, keeping some in reserve. At the cap a new
  // connection takes the place of the one that has gone longest without progress.
  unsigned MaxConnections = 0;
  // A connection is closed when a request takes longer than this to arrive (an idle keep-alive
  // connection too), or when its client takes no part of a reply for this long.
  std::chrono::seconds IdleTimeout{60};
  // Searches run on these workers, which the library's search shares; none: on SearchThreads
  // of the server's own (0: one per processor). Beyond SearchQueue waiting searches, a search is
  // answered 503 with Retry-After.
  std::shared_ptr<library::TWorkers> Workers;
  unsigned SearchThreads = 0;
  std::size_t SearchQueue = 64;
  // Called once per answered request, from whichever thread answered it.
  std::function<void(const TRequestRecord&)> OnRequest;
};

// HOST:PORT as a URL writes it, an IPv6 address in brackets.
std::string ShownAddress(const std::string& host, std::uint16_t port);

// How long a stopping server waits for the requests under way.
inline constexpr std::chrono::seconds kDrainGrace{10};

class TDocumentServer {
 public:
  // Binds at once, so the port is known before serving starts; a listening socket passed by
  // the service manager is taken instead of Host and Port. Throws std::runtime_error naming
  // the address when it is not one or cannot be listened on.
  TDocumentServer(const TSite& site, TServerSettings settings);
  ~TDocumentServer();
  TDocumentServer(const TDocumentServer&) = delete;
  TDocumentServer& operator=(const TDocumentServer&) = delete;

  std::uint16_t Port() const;
  // The address listened on, as the socket has it.
  std::string Host() const;
  // Whether only this machine can reach the address listened on.
  bool IsLoopback() const;
  // When the process is interrupted (Ctrl+C) or asked to terminate, stops accepting, lets the
  // requests under way finish, each connection closing after its reply, and stops once no
  // connection is left or kDrainGrace has passed; a second such signal stops it at once.
  void StopOnSignals();
  // Calls reload, on a thread of the server's, each time the process gets SIGHUP. The signal is
  // caught for the whole process, whichever thread it reaches.
  void ReloadOnHangUp(std::function<void()> reload);
  // Serves on background threads until Stop.
  void Start();
  // Blocks until the server has stopped.
  void Wait();
  // How many connections a drain that ran out of time closed with their reply unfinished.
  std::size_t CutShort() const;
  // Stops at once. Safe from any thread, also from a request's own.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::serve
