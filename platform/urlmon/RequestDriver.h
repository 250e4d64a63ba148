// Loads one URL through the protocol handler registered for its scheme, the way the engine's
// loader drives a handler: Start with a sink and bind information, Read until S_FALSE, Terminate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/urlmon/UrlMon.h"

namespace tomelet {

enum class RequestOutcome {
  Served,             // data delivered, the handler reported success
  NotFound,           // Start answered S_FALSE without reporting a result
  DeclinedToDefault,  // the handler left the URL to the default handling
  NoHandler,          // no namespace is registered for the URL's scheme
  Failed,             // any other error; Result holds it
};

// What the handler told its sink, beyond the data itself.
struct TSinkReports {
  DWORD DataFlags = 0;
  ULONG DataSize = 0;
  bool ResultReported = false;
  HRESULT ReportedResult = S_OK;
  DWORD ReportedError = 0;
};

struct RequestResult {
  RequestOutcome Outcome = RequestOutcome::Failed;
  HRESULT Result = S_OK;
  std::vector<std::byte> Bytes;
  std::string CacheFileName;  // UTF-8; empty unless the handler reported one
  TSinkReports Reports;
};

inline constexpr ULONG kRequestReadBlock = 64 * 1024;

// The URL is UTF-8 as the engine hands it over; its "#fragment" never reaches the handler.
// Never throws: memory exhaustion becomes a Failed outcome with E_OUTOFMEMORY.
RequestResult DriveProtocolRequest(IInternetSession& session, std::string_view url, bool needFile);

}  // namespace tomelet
