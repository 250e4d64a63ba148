#include "WebHost/Urls.h"

#include <glib.h>

#include <string>

namespace tomelet {

bool IsNavigableUrl(std::string_view url) {
  if (url.empty() || url.find('\0') != std::string_view::npos)
    return false;
  const std::string text(url);
  return g_uri_is_valid(text.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr);
}

bool IsDocumentUrl(std::string_view url) {
  constexpr std::string_view kPrefix = "tome:";
  if (url.size() < kPrefix.size())
    return false;
  for (std::size_t i = 0; i < kPrefix.size(); ++i) {
    const char c = url[i];
    const char lowered = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lowered != kPrefix[i])
      return false;
  }
  return true;
}

}  // namespace tomelet
