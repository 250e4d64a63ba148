#include "document/ContentType.h"

#include <algorithm>
#include <array>

#include "platform/mime/MimeTable.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

struct TSignature {
  std::string_view Bytes;
  std::string_view Type;
};

// Formats told by their first bytes, whatever their name says.
constexpr std::array kSignatures{
    TSignature{"\x89PNG\r\n\x1a\n", "image/png"},
    TSignature{"GIF87a", "image/gif"},
    TSignature{"GIF89a", "image/gif"},
    TSignature{"\xFF\xD8\xFF", "image/jpeg"},
    TSignature{"BM", "image/bmp"},
    TSignature{std::string_view("\0\0\1\0", 4), "image/x-icon"},
    TSignature{"%PDF-", "application/pdf"},
    TSignature{"wOFF", "font/woff"},
    TSignature{"wOF2", "font/woff2"},
    TSignature{"PK\x03\x04", "application/zip"},
    TSignature{"\x1F\x8B\x08", "application/gzip"},
};

// Markup that begins a page, each followed by a blank or ">" so that "<pre" is no "<p".
constexpr std::array<std::string_view, 17> kPageTags{"<!doctype html",
                                                     "<html",
                                                     "<head",
                                                     "<script",
                                                     "<iframe",
                                                     "<h1",
                                                     "<div",
                                                     "<font",
                                                     "<table",
                                                     "<a",
                                                     "<style",
                                                     "<title",
                                                     "<b",
                                                     "<body",
                                                     "<br",
                                                     "<p",
                                                     "<!--"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool StartsWithTag(std::string_view text, std::string_view tag) {
  if (text.size() <= tag.size() || !EqualsFoldedAscii(text.substr(0, tag.size()), tag))
    return false;
  const char next = text[tag.size()];
  return IsBlank(next) || next == '>' || tag == "<!--";
}

bool IsPage(std::string_view text) {
  const auto start = std::find_if_not(text.begin(), text.end(), IsBlank);
  const std::string_view markup = text.substr(static_cast<std::size_t>(start - text.begin()));
  return std::any_of(kPageTags.begin(), kPageTags.end(),
                     [&](std::string_view tag) { return StartsWithTag(markup, tag); });
}

// Control bytes that text never holds (blank space and the escape byte aside).
bool IsBinaryByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x08 || byte == 0x0B || (byte >= 0x0E && byte <= 0x1A) ||
         (byte >= 0x1C && byte <= 0x1F);
}

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

std::string_view SniffContentType(std::span<const std::byte> head) {
  if (head.empty())
    return "text/html";
  const std::string_view text(reinterpret_cast<const char*>(head.data()),
                              std::min(head.size(), kSniffedBytes));
  for (const TSignature& signature : kSignatures) {
    if (text.starts_with(signature.Bytes))
      return signature.Type;
  }
  if (text.size() >= 12 && text.starts_with("RIFF") && text.substr(8, 4) == "WEBP")
    return "image/webp";
  if (IsPage(text))
    return "text/html";
  if (std::none_of(text.begin(), text.end(), IsBinaryByte))
    return "text/plain";
  return "application/octet-stream";
}

std::string ContentTypeFor(std::string_view nameOrUrl, std::span<const std::byte> head) {
  if (const auto byName = MimeTypeForFileName(nameOrUrl.substr(0, nameOrUrl.find_first_of("?#"))))
    return std::string(*byName);
  return std::string(SniffContentType(head));
}

bool IsCharsetText(std::string_view mimeType) {
  const std::string essence = FoldAscii(Essence(mimeType));
  return essence.starts_with("text/") ||
         std::find(kTextApplicationTypes.begin(), kTextApplicationTypes.end(), essence) !=
             kTextApplicationTypes.end();
}

std::string WithCharset(std::string_view mimeType, std::span<const std::byte> contents) {
  const std::string_view text(reinterpret_cast<const char*>(contents.data()), contents.size());
  const std::string essence = FoldAscii(Essence(mimeType));
  if (!IsCharsetText(mimeType) || mimeType.find(';') != std::string_view::npos ||
      (CanDeclareCharset(essence) && DeclaresCharset(text)) || !IsValidUtf8(text)) {
    return std::string(mimeType);
  }
  return std::string(mimeType) + "; charset=utf-8";
}

std::string ContentTypeWithCharset(std::string_view nameOrUrl,
                                   std::span<const std::byte> contents) {
  return WithCharset(ContentTypeFor(nameOrUrl, contents), contents);
}

}  // namespace tomelet
