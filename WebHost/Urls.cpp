#include "WebHost/Urls.h"

#include <glib.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "document/DocumentAddress.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/PercentEscapes.h"

namespace tomelet {

bool IsNavigableUrl(std::string_view url) {
  if (url.empty() || url.find('\0') != std::string_view::npos)
    return false;
  const std::string text(url);
  return g_uri_is_valid(text.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr);
}

bool IsDocumentUrl(std::string_view url) {
  const std::string prefix = std::string(kDocumentScheme) + ":";
  return StartsWithFoldedAscii(url, prefix);
}

bool IsShownByEngine(std::string_view url) {
  static constexpr std::string_view kEngineSchemes[] = {
      kDocumentScheme, "http", "https", "file", "about", "data", "blob", "javascript"};
  const std::string text(url);
  const char* scheme = g_uri_peek_scheme(text.c_str());
  return !scheme ||
         std::ranges::find(kEngineSchemes, std::string_view(scheme)) != std::end(kEngineSchemes);
}

std::string AddressName(std::string_view url) {
  const std::string_view path = url.substr(0, url.find_first_of("?#"));
  const std::string_view name = path.substr(path.find_last_of('/') + 1);
  return PercentDecoded(name, TPlusSign::Itself, TBadEscape::Kept);
}

}  // namespace tomelet
