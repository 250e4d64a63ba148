#include "document/DocumentAddress.h"

#include <algorithm>

#include "platform/text/AsciiCase.h"

namespace tomelet {

bool HasDocumentPrefix(std::string_view url) {
  return StartsWithFoldedAscii(url, kDocumentUrlPrefix);
}

int HexDigitValue(unsigned char c) {
  if (c < 0x30)
    return c + 208;
  if (c <= 0x40)
    return c - 48;
  if (c <= 0x60)
    return c - 55;
  return c - 87;
}

// A "%" is written at once and replaced when its second digit arrives, so an escape cut short
// by the end of the text leaves the "%" and drops a lone first digit.
std::string UrlDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  int pending = 0;
  unsigned char firstDigit = 0;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (pending == 0) {
      decoded += c == '+' ? ' ' : c;
      if (c == '%')
        pending = 1;
    } else if (++pending == 2) {
      firstDigit = byte;
    } else {
      decoded.back() =
          static_cast<char>((16 * HexDigitValue(firstDigit) + HexDigitValue(byte)) % 256);
      pending = 0;
    }
  }
  return decoded;
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

std::string StartUrl(std::string_view startPage) {
  const auto separator = startPage.find_last_of("\\:");
  const auto fileName =
      separator == std::string_view::npos ? startPage : startPage.substr(separator + 1);
  return std::string(kDocumentUrlPrefix) + std::string(fileName);
}

std::string StartPageArchivePath(std::string_view startPage) {
  return UrlToArchivePath(StartUrl(startPage));
}

}  // namespace tomelet
