// One client connection of tomelet serve: reads requests, has the site answer them (searches on
// the work pool), writes the replies, and closes the connection when the client stops making
// progress, sends what cannot be served, or is dropped to make room.
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <memory>

#include "library/Workers.h"
#include "serve/ConnectionLimit.h"
#include "serve/DocumentServer.h"

namespace tomelet::serve {

class TSite;

// What every session of a server shares; it outlives them all.
struct TSessionShared {
  const TSite& Site;
  const TServerSettings& Settings;
  TConnectionLimit& Limit;
  library::TWorkQueue& SlowWork;
  // Set once the server stops: every reply then closes its connection.
  const std::atomic<bool>& Draining;
};

// Starts serving an admitted connection; the session keeps itself alive until it closes.
void StartSession(boost::asio::ip::tcp::socket socket, const TSessionShared& shared);

}  // namespace tomelet::serve
