// The HTTP side of tomelet serve: accepts connections, parses requests with Boost.Beast, asks
// the document site for each reply and writes it, keeping connections alive between requests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tomelet::serve {

class TDocumentSite;

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
  // connection takes the place of the one that has waited longest for a request.
  unsigned MaxConnections = 0;
  // Called once per answered request, from whichever thread answered it.
  std::function<void(const TRequestRecord&)> OnRequest;
};

class TDocumentServer {
 public:
  // Binds at once, so the port is known before serving starts; raises std::exception when the
  // address cannot be used.
  TDocumentServer(const TDocumentSite& site, TServerSettings settings);
  ~TDocumentServer();
  TDocumentServer(const TDocumentServer&) = delete;
  TDocumentServer& operator=(const TDocumentServer&) = delete;

  std::uint16_t Port() const;
  // Stops the server when the process is interrupted (Ctrl+C) or asked to terminate.
  void StopOnSignals();
  // Serves on background threads until Stop.
  void Start();
  // Blocks until the server has stopped.
  void Wait();
  // Safe from any thread, also from a request's own.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::serve
