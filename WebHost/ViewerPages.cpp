#include "WebHost/ViewerPages.h"

#include <memory>

#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

constexpr const char* kSourceKey = "tomelet-viewer-pages";

void FreeText(gpointer text) {
  std::unique_ptr<std::string>(static_cast<std::string*>(text));
}

void FinishWithHtml(WebKitURISchemeRequest* request, std::string html) {
  auto owned = std::make_unique<std::string>(std::move(html));
  GBytes* bytes = g_bytes_new_with_free_func(owned->data(), owned->size(), FreeText, owned.get());
  const auto size = static_cast<gint64>(owned->size());
  owned.release();
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  g_bytes_unref(bytes);
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, size);
  g_object_unref(stream);
  webkit_uri_scheme_response_set_content_type(response, "text/html; charset=utf-8");
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

}  // namespace

void AttachViewerPages(WebKitWebView* view, const TViewerPageSource* source) {
  g_object_set_data(G_OBJECT(view), kSourceKey, const_cast<TViewerPageSource*>(source));
}

bool ServeViewerPage(WebKitURISchemeRequest* request) {
  const std::string address = webkit_uri_scheme_request_get_uri(request);
  if (!address.starts_with(kSearchPagesUrl))
    return false;
  WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
  const auto* source =
      view ? static_cast<const TViewerPageSource*>(g_object_get_data(G_OBJECT(view), kSourceKey))
           : nullptr;
  if (!source || !*source) {
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found: %s", address.c_str());
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return true;
  }
  FinishWithHtml(request, (*source)(address));
  return true;
}

}  // namespace tomelet
