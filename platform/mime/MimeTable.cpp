#include "platform/mime/MimeTable.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "platform/text/AsciiCase.h"

namespace tomelet {
namespace {

using TMimePair = std::pair<std::string_view, std::string_view>;

constexpr std::array<TMimePair, 41> kTypesByExtension{{
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

// Long enough for every extension of the table; longer ones cannot match.
constexpr std::size_t kLongestExtension = 5;

}  // namespace

std::optional<std::string_view> MimeTypeForFileName(std::string_view name) {
  const auto segment = name.substr(name.find_last_of("/\\") + 1);
  const auto dot = segment.rfind('.');
  if (dot == std::string_view::npos)
    return std::nullopt;
  const auto extension = segment.substr(dot + 1);
  if (extension.empty() || extension.size() > kLongestExtension)
    return std::nullopt;
  const std::string lowered = FoldAscii(extension);
  const auto found =
      std::ranges::find(kTypesByExtension, std::string_view(lowered), &TMimePair::first);
  if (found == kTypesByExtension.end())
    return std::nullopt;
  return found->second;
}

}  // namespace tomelet
