#include "WebHost/MimeTypes.h"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace tomelet {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 41> kTypesByExtension{{
    {"htm", "text/html"},
    {"html", "text/html"},
    {"xhtml", "application/xhtml+xml"},
    {"xht", "application/xhtml+xml"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"mjs", "text/javascript"},
    {"json", "application/json"},
    {"txt", "text/plain"},
    {"xml", "text/xml"},
    {"xsl", "text/xsl"},
    {"csv", "text/csv"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"jpe", "image/jpeg"},
    {"gif", "image/gif"},
    {"bmp", "image/bmp"},
    {"svg", "image/svg+xml"},
    {"ico", "image/vnd.microsoft.icon"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"pdf", "application/pdf"},
    {"zip", "application/zip"},
    {"gz", "application/gzip"},
    {"exe", "application/x-msdownload"},
    {"wasm", "application/wasm"},
    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},
    {"ogg", "audio/ogg"},
    {"mp4", "video/mp4"},
    {"m4v", "video/mp4"},
    {"webm", "video/webm"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"eot", "application/vnd.ms-fontobject"},
    {"swf", "application/x-shockwave-flash"},
}};

constexpr std::string_view kUnknownType = "application/octet-stream";

std::string_view PathPart(std::string_view nameOrUrl) {
  return nameOrUrl.substr(0, nameOrUrl.find_first_of("?#"));
}

std::string LowerAscii(std::string_view text) {
  std::string lowered(text);
  std::ranges::transform(lowered, lowered.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lowered;
}

// The extension of the last path segment, without its dot; empty when there is none.
std::string_view Extension(std::string_view path) {
  const auto segment = path.substr(path.find_last_of("/\\") + 1);
  const auto dot = segment.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : segment.substr(dot + 1);
}

struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

std::string GuessFromContent(std::span<const std::byte> content) {
  // The guesser calls nothing a page when it has no bytes, and an empty page is the likely intent.
  if (content.empty())
    return "text/html";
  gboolean uncertain = FALSE;
  const GCharPtr contentType(g_content_type_guess(
      nullptr, reinterpret_cast<const guchar*>(content.data()), content.size(), &uncertain));
  if (!contentType)
    return std::string(kUnknownType);
  const GCharPtr mimeType(g_content_type_get_mime_type(contentType.get()));
  if (!mimeType || *mimeType == '\0')
    return std::string(kUnknownType);
  return mimeType.get();
}

}  // namespace

std::optional<std::string_view> MimeTypeForName(std::string_view nameOrUrl) {
  const auto extension = LowerAscii(Extension(PathPart(nameOrUrl)));
  if (extension.empty())
    return std::nullopt;
  const auto found = std::ranges::find(kTypesByExtension, std::string_view(extension),
                                       &std::pair<std::string_view, std::string_view>::first);
  if (found == kTypesByExtension.end())
    return std::nullopt;
  return found->second;
}

std::string MimeTypeFor(std::string_view nameOrUrl, std::span<const std::byte> content) {
  if (const auto byName = MimeTypeForName(nameOrUrl))
    return std::string(*byName);
  return GuessFromContent(content);
}

}  // namespace tomelet
