#include "serve/ListenSocket.h"

#include <stdexcept>
#include <string>

#ifdef TOMELET_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace tomelet::serve {

std::optional<int> InheritedListenSocket() {
#ifdef TOMELET_HAVE_SYSTEMD
  const int count = ::sd_listen_fds(1);
  if (count <= 0) {
    return std::nullopt;
  }
  if (count > 1) {
    throw std::runtime_error("The service manager passed " + std::to_string(count) +
                             " sockets; tomelet serve listens on one");
  }
  return SD_LISTEN_FDS_START;
#else
  return std::nullopt;
#endif
}

}  // namespace tomelet::serve
