// The viewer's own pages below "tome://search/": answered from the view's host, never from the
// document's archive.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace tomelet {

using TViewerPageSource = std::function<std::string(const std::string& address)>;

// The view's requests for the viewer's own pages are answered by source, which must outlive it.
void AttachViewerPages(WebKitWebView* view, const TViewerPageSource* source);

// Answers the request when it asks for one of the viewer's own pages; false for any other.
bool ServeViewerPage(WebKitURISchemeRequest* request);

}  // namespace tomelet
