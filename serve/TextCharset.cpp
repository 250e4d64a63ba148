#include "serve/TextCharset.h"

#include <algorithm>
#include <array>

#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"

namespace tomelet::serve {

namespace {

// Where a browser looks for a page's own charset declaration.
constexpr std::size_t kDeclarationWindow = 1024;

constexpr std::array<std::string_view, 6> kTextApplicationTypes = {
    "application/javascript", "application/x-javascript", "application/json",
    "application/xml",        "application/xhtml+xml",    "image/svg+xml"};

std::string_view Essence(std::string_view mimeType) {
  return mimeType.substr(0, mimeType.find(';'));
}

bool CanDeclareCharset(std::string_view essence) {
  return essence == "text/html" || essence == "text/css" || essence == "text/xml" ||
         essence.ends_with("xml");
}

bool DeclaresCharset(std::string_view contents) {
  const std::string head = FoldAscii(contents.substr(0, kDeclarationWindow));
  return head.find("charset") != std::string::npos ||
         (head.starts_with("<?xml") && head.find("encoding") != std::string::npos);
}

}  // namespace

bool IsCharsetText(std::string_view mimeType) {
  const std::string essence = FoldAscii(Essence(mimeType));
  return essence.starts_with("text/") ||
         std::find(kTextApplicationTypes.begin(), kTextApplicationTypes.end(), essence) !=
             kTextApplicationTypes.end();
}

std::string ContentTypeFor(std::string_view mimeType, std::string_view contents) {
  const std::string essence = FoldAscii(Essence(mimeType));
  if (!IsCharsetText(mimeType) || mimeType.find(';') != std::string_view::npos ||
      (CanDeclareCharset(essence) && DeclaresCharset(contents)) || !IsValidUtf8(contents)) {
    return std::string(mimeType);
  }
  return std::string(mimeType) + "; charset=utf-8";
}

}  // namespace tomelet::serve
