#include "WebHost/SchemeBridge.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "WebHost/MimeTypes.h"
#include "WebHost/ViewerPages.h"
#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

constexpr const char* kScheme = kDocumentScheme.data();
constexpr const char* kRegisteredKey = "tomelet-document-scheme";

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

// The type goes into the headers as well, where the page's own scripts read it.
void FinishWithBytes(WebKitURISchemeRequest* request, std::string_view url, TBytes&& bytes) {
  const std::string mimeType = MimeTypeFor(url, bytes);
  const auto size = static_cast<gint64>(bytes.size());
  GInputStream* stream = StreamOver(std::move(bytes));
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, size);
  g_object_unref(stream);
  webkit_uri_scheme_response_set_content_type(response, mimeType.c_str());
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_replace(headers, "Content-Type", mimeType.c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
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

void ServeRequest(WebKitURISchemeRequest* request, gpointer) {
  if (ServeViewerPage(request))
    return;
  const std::string url = webkit_uri_scheme_request_get_uri(request);
  RequestResult result = FetchThroughSession(url, false);
  switch (result.Outcome) {
    case RequestOutcome::Served:
      FinishWithBytes(request, url, std::move(result.Bytes));
      return;
    case RequestOutcome::NotFound:
      FinishWithError(request, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found: " + url);
      return;
    default:
      FinishWithError(request, RequestErrorQuark(), FailureCode(result), "Failed to load " + url);
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

RequestResult FetchThroughSession(std::string_view url, bool needFile) {
  ComPtr<IInternetSession> session;
  CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0);
  if (!session) {
    RequestResult result;
    result.Outcome = RequestOutcome::NoHandler;
    result.Result = E_UNEXPECTED;
    return result;
  }
  return DriveProtocolRequest(*session, url, needFile);
}

}  // namespace tomelet
