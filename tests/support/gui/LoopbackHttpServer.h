// A web server on the loopback interface that answers every request with one fixed status, for
// the host's handling of server errors.
#pragma once

#include <gio/gio.h>

#include <string>

namespace tomelet::testing {

class TLoopbackHttpServer {
 public:
  TLoopbackHttpServer(int status, std::string reason);
  ~TLoopbackHttpServer();
  TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
  TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

  std::string Url(const std::string& path) const;

 private:
  static gboolean Answer(GThreadedSocketService*, GSocketConnection* connection, GObject*,
                         gpointer self);

  std::string response_;
  GSocketService* service_ = nullptr;
  guint16 port_ = 0;
};

}  // namespace tomelet::testing
