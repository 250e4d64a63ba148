// Loads one URL through the protocol handler registered for its scheme, the way the engine's
// loader drives a handler: Start with a sink and bind information, Read until S_FALSE, Terminate.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
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

// Leaves new elements uninitialised: the driver overwrites every byte it keeps, so filling the
// buffer with zeros first would only cost one more pass over the data.
template <class T>
struct TDefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TDefaultInitAllocator<U>;
  };
  TDefaultInitAllocator() = default;
  template <class U>
  TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}

  template <class U>
  void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(place)) U;
  }
  template <class U, class... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
};

using TRequestBytes = std::vector<std::byte, TDefaultInitAllocator<std::byte>>;

struct RequestResult {
  RequestOutcome Outcome = RequestOutcome::Failed;
  HRESULT Result = S_OK;
  TRequestBytes Bytes;
  std::string CacheFileName;  // UTF-8; empty unless the handler reported one
  TSinkReports Reports;
};

inline constexpr ULONG kRequestReadBlock = 64 * 1024;

// A started request whose data is read when the reader wants it, so that large replies need not
// be held whole. Read may be called from any one thread at a time; Terminate comes with the end.
class TStartedRequest {
 public:
  TStartedRequest(ComPtr<IInternetProtocol> protocol, RequestResult head);
  ~TStartedRequest();
  TStartedRequest(const TStartedRequest&) = delete;
  TStartedRequest& operator=(const TStartedRequest&) = delete;

  // Outcome, result, reports and cache file name; Bytes stays empty.
  const RequestResult& Head() const { return head_; }
  // Fills up to buffer.size() bytes; 0 at the end. A failed read returns its code.
  HRESULT Read(std::span<std::byte> buffer, std::size_t& got);

 private:
  ComPtr<IInternetProtocol> protocol_;
  RequestResult head_;
  bool ended_ = false;
};

// The URL is UTF-8 as the engine hands it over; its "#fragment" never reaches the handler.
// Never throws: memory exhaustion becomes a Failed outcome with E_OUTOFMEMORY.
std::unique_ptr<TStartedRequest> StartProtocolRequest(IInternetSession& session,
                                                      std::string_view url, bool needFile);

// StartProtocolRequest, then every byte read into the result.
RequestResult DriveProtocolRequest(IInternetSession& session, std::string_view url, bool needFile);

}  // namespace tomelet
