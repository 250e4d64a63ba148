#include "platform/text/ShownText.h"

#include <algorithm>
#include <cstdio>

#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kC1Lead = 0xC2;  // U+0080 to U+00BF start with this byte in UTF-8
constexpr unsigned char kC1Last = 0x9F;

void AppendEscape(std::string& out, const char* format, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, format, value);
  out += escape;
}

void AppendC0OrDelete(std::string& out, unsigned char c) {
  switch (c) {
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      AppendEscape(out, "\\x%02x", c);
  }
}

}  // namespace

std::string EscapeControlCharacters(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (c < 0x20 || c == kDelete) {
      AppendC0OrDelete(out, c);
    } else if (c == kC1Lead && next >= 0x80 && next <= kC1Last) {
      AppendEscape(out, "\\u%04x", next);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ShownName(std::string_view name) {
  return EscapeControlCharacters(DisplayText(name));
}

std::string SlashSeparated(std::string_view archivePath) {
  // The backslash is byte 0x5C in UTF-8 and in Windows-1252 alike, so it turns before decoding.
  std::string path(archivePath);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string ShownPath(std::string_view archivePath) {
  return ShownName(SlashSeparated(archivePath));
}

}  // namespace tomelet
