#include "document/DocumentAddress.h"

#include <algorithm>

#include "platform/text/AsciiCase.h"
#include "platform/text/PercentEscapes.h"

namespace tomelet {

bool HasDocumentPrefix(std::string_view url) {
  return StartsWithFoldedAscii(url, kDocumentUrlPrefix);
}

std::string UrlDecode(std::string_view text) {
  return PercentDecoded(text, TPlusSign::Space, TBadEscape::ReadAnyway);
}

std::string UrlToArchivePath(std::string_view url) {
  return RelativeAddressToArchivePath(url.substr(std::min(url.size(), kDocumentUrlPrefix.size())));
}

std::string RelativeAddressToArchivePath(std::string_view relative) {
  std::string path = UrlDecode(relative);
  std::replace(path.begin(), path.end(), '/', '\\');
  if (auto query = path.find('?'); query != std::string::npos)
    path.resize(query);
  return path;
}

std::string StartUrl(std::string_view startPageOption) {
  const auto separator = startPageOption.find_last_of("\\:");
  const auto fileName =
      separator == std::string_view::npos ? startPageOption : startPageOption.substr(separator + 1);
  return std::string(kDocumentUrlPrefix) + std::string(fileName);
}

std::string StartPageArchivePath(std::string_view startPageOption) {
  return UrlToArchivePath(StartUrl(startPageOption));
}

}  // namespace tomelet
