#include "document/ContentType.h"

#include <algorithm>
#include <array>

#include "platform/mime/MimeTable.h"
#include "platform/text/AsciiCase.h"

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

}  // namespace tomelet
