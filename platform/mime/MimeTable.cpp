#include "platform/mime/MimeTable.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
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

// The system's table, read once on first use and kept for the run.
const TMimeTypesByExtension& SystemTypes() {
  static const TMimeTypesByExtension types = ReadMimeTypesFile(kSystemMimeTypesFile);
  return types;
}

}  // namespace

TMimeTypesByExtension ReadMimeTypesFile(const std::string& path) {
  TMimeTypesByExtension types;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line.front() == '#')
      continue;
    std::istringstream fields(line);
    std::string type, extension;
    fields >> type;
    while (fields >> extension)
      types.emplace(FoldAscii(extension), type);
  }
  return types;
}

std::optional<std::string_view> MimeTypeForFileName(std::string_view name) {
  const auto segment = name.substr(name.find_last_of("/\\") + 1);
  const auto dot = segment.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == segment.size())
    return std::nullopt;
  const std::string extension = FoldAscii(segment.substr(dot + 1));
  const auto found =
      std::ranges::find(kTypesByExtension, std::string_view(extension), &TMimePair::first);
  if (found != kTypesByExtension.end())
    return found->second;
  const auto& system = SystemTypes();
  if (const auto known = system.find(extension); known != system.end())
    return known->second;
  return std::nullopt;
}

}  // namespace tomelet
