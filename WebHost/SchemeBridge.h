// The engine's requests for the "tome" scheme, served by the protocol handlers registered with
// the process's internet session.
#pragma once

#include <webkit2/webkit2.h>

#include <string_view>

#include "platform/urlmon/RequestDriver.h"

namespace tomelet {

// Registers the scheme with the context once, as secure and cross-origin capable but not local:
// a local scheme would shut its pages out of fetch, XHR and each other's frames.
void RegisterDocumentScheme(WebKitWebContext* context);

// The error domain of requests the handler failed; an error's code is the handler's result code.
GQuark RequestErrorQuark();

// Gives a view a session of its own: its requests then reach that session's handlers, not the
// process's. The view holds a reference until it goes.
void AttachSession(WebKitWebView* view, IInternetSession* session);

// One request of view through its session's handler for the URL's scheme.
RequestResult FetchThroughSession(WebKitWebView* view, std::string_view url, bool needFile);

}  // namespace tomelet
