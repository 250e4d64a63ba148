#include "platform/text/Codepage.h"

#include <algorithm>
#include <array>

#include "platform/text/Utf8.h"

namespace tomelet {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the upper half equals Latin-1.
constexpr std::array<char16_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Windows1252CodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) {
    return kHighControlRange[byte - 0x80];
  }
  return byte;
}

std::optional<unsigned char> Windows1252Byte(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    return static_cast<unsigned char>(codePoint);
  }
  const auto* found = std::find(kHighControlRange.begin(), kHighControlRange.end(), codePoint);
  if (found == kHighControlRange.end()) {
    return std::nullopt;
  }
  return static_cast<unsigned char>(0x80 + (found - kHighControlRange.begin()));
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Pages are mostly ASCII and every page is checked before it is indexed.
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
    } else if (!NextUtf8Char(text, pos, TMalformedUtf8::Refuse)) {
      return false;
    }
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(c)));
  }
  return out;
}

// Sequence by sequence, so that a message quoting both a typed UTF-8 name and a stored
// Windows-1252 one shows each as it was meant.
void AppendDisplayText(std::string& out, std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t c = *NextUtf8Char(text, pos, TMalformedUtf8::KeepByte);
    if (c >= kMalformedUtf8Byte) {
      AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(c - kMalformedUtf8Byte)));
    } else {
      out.append(text.substr(start, pos - start));
    }
  }
}

std::optional<std::string> Utf8ToWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto codePoint = NextUtf8Char(text, pos, TMalformedUtf8::Refuse);
    if (!codePoint) {
      return std::nullopt;
    }
    const auto byte = Windows1252Byte(*codePoint);
    if (!byte) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(*byte));
  }
  return out;
}

std::string DisplayText(std::string_view text) {
  std::string out;
  AppendDisplayText(out, text);
  return out;
}

}  // namespace tomelet
