// The engine's view of one reply of the "tome" scheme as a stream that reads the handler on
// demand. The engine reads such streams on GIO's worker threads, so a large entry inflates there
// while the window keeps answering, and no reply is ever held twice.
#pragma once

#include <gio/gio.h>

#include <memory>
#include <string>

#include "platform/urlmon/RequestDriver.h"

namespace tomelet {

// A new stream (the caller owns its reference) that yields head first, then whatever the request
// still has to give. A failed read fails the stream with "Failed to load " and the URL.
GInputStream* NewReplyStream(std::unique_ptr<TStartedRequest> request, TRequestBytes head,
                             std::string url);

// Ends the requests of every reply the engine is still reading, so that their handlers go at
// once; their streams fail from then on. For the end of the program.
void EndOpenReplies();

}  // namespace tomelet
