#include "WebHost/SchemeBridge.h"

#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "WebHost/ReplyStream.h"
#include "WebHost/ViewerPages.h"
#include "document/ContentType.h"
#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

constexpr const char* kScheme = kDocumentScheme.data();
constexpr const char* kRegisteredKey = "tomelet-document-scheme";
constexpr const char* kSessionKey = "tomelet-session";

using TBytes = decltype(RequestResult::Bytes);

void FreeBytes(gpointer bytes) {
  std::unique_ptr<TBytes>(static_cast<TBytes*>(bytes));
}

// Hands the bytes to the engine without copying them: the stream owns them from now on.
GInputStream* StreamOver(TBytes&& bytes) {
  auto owned = std::make_unique<TBytes>(std::move(bytes));
  GBytes* shared = g_bytes_new_with_free_func(owned->data(), owned->size(), FreeBytes, owned.get());
  owned.release();
  GInputStream* stream = g_memory_input_stream_new_from_bytes(shared);
  g_bytes_unref(shared);
  return stream;
}

void FinishWithError(WebKitURISchemeRequest* request, GQuark domain, int code,
                     const std::string& message);

// The type, with its charset, goes into the headers as well, where the page's own scripts read it.
void Finish(WebKitURISchemeRequest* request, GInputStream* stream, gint64 size,
            const std::string& mimeType) {
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, size);
  g_object_unref(stream);
  webkit_uri_scheme_response_set_content_type(response, mimeType.c_str());
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_replace(headers, "Content-Type", mimeType.c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

// The first block is read here, for the type guess; a reply that fits in it goes over as it is,
// a longer one is read on by the engine, off this thread.
void FinishWithReply(WebKitURISchemeRequest* request, const std::string& url,
                     std::unique_ptr<TStartedRequest> started) {
  TRequestBytes head(kRequestReadBlock);
  std::size_t got = 0;
  if (const HRESULT hr = started->Read(head, got); FAILED(hr)) {
    FinishWithError(request, RequestErrorQuark(), hr, "Failed to load " + url);
    return;
  }
  head.resize(got);
  // Only a reply read whole can be told to be UTF-8 throughout.
  if (got < kRequestReadBlock) {
    const std::string mimeType = ContentTypeWithCharset(url, head);
    const auto size = static_cast<gint64>(head.size());
    Finish(request, StreamOver(std::move(head)), size, mimeType);
    return;
  }
  const std::string mimeType = ContentTypeFor(url, head);
  const ULONG announced = started->Head().Reports.DataSize;
  const gint64 size = announced == std::numeric_limits<ULONG>::max() ? -1 : announced;
  Finish(request, NewReplyStream(std::move(started), std::move(head), url), size, mimeType);
}

void FinishWithError(WebKitURISchemeRequest* request, GQuark domain, int code,
                     const std::string& message) {
  GError* error = g_error_new_literal(domain, code, message.c_str());
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

HRESULT FailureCode(const RequestResult& result) {
  if (FAILED(result.Result))
    return result.Result;
  return result.Outcome == RequestOutcome::DeclinedToDefault ? INET_E_USE_DEFAULT_PROTOCOLHANDLER
                                                             : E_FAIL;
}

void ReleaseSession(gpointer session) {
  static_cast<IInternetSession*>(session)->Release();
}

// The view's own session when it was given one, else the process's.
ComPtr<IInternetSession> SessionOf(WebKitWebView* view) {
  if (auto* own = view ? g_object_get_data(G_OBJECT(view), kSessionKey) : nullptr)
    return ComPtr<IInternetSession>(static_cast<IInternetSession*>(own));
  ComPtr<IInternetSession> session;
  CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0);
  return session;
}

RequestResult WithoutSession() {
  RequestResult result;
  result.Outcome = RequestOutcome::NoHandler;
  result.Result = E_UNEXPECTED;
  return result;
}

std::unique_ptr<TStartedRequest> StartThroughSession(WebKitWebView* view, std::string_view url) {
  const ComPtr<IInternetSession> session = SessionOf(view);
  if (!session)
    return std::make_unique<TStartedRequest>(nullptr, WithoutSession());
  return StartProtocolRequest(*session, url, false);
}

void ServeRequest(WebKitURISchemeRequest* request, gpointer) {
  if (ServeViewerPage(request))
    return;
  const std::string url = webkit_uri_scheme_request_get_uri(request);
  std::unique_ptr<TStartedRequest> started =
      StartThroughSession(webkit_uri_scheme_request_get_web_view(request), url);
  const RequestResult& head = started->Head();
  switch (head.Outcome) {
    case RequestOutcome::Served:
      FinishWithReply(request, url, std::move(started));
      return;
    case RequestOutcome::NotFound:
      FinishWithError(request, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found: " + url);
      return;
    default:
      FinishWithError(request, RequestErrorQuark(), FailureCode(head), "Failed to load " + url);
  }
}

}  // namespace

void RegisterDocumentScheme(WebKitWebContext* context) {
  if (g_object_get_data(G_OBJECT(context), kRegisteredKey))
    return;
  webkit_web_context_register_uri_scheme(context, kScheme, ServeRequest, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, kScheme);
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kScheme);
  g_object_set_data(G_OBJECT(context), kRegisteredKey, GINT_TO_POINTER(1));
}

GQuark RequestErrorQuark() {
  return g_quark_from_static_string("tomelet-request-error-quark");
}

void AttachSession(WebKitWebView* view, IInternetSession* session) {
  if (session)
    session->AddRef();
  g_object_set_data_full(G_OBJECT(view), kSessionKey, session, session ? ReleaseSession : nullptr);
}

RequestResult FetchThroughSession(WebKitWebView* view, std::string_view url, bool needFile) {
  const ComPtr<IInternetSession> session = SessionOf(view);
  return session ? DriveProtocolRequest(*session, url, needFile) : WithoutSession();
}

}  // namespace tomelet
