#include "platform/text/Codepage.h"

#include <algorithm>
#include <array>

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

// Every Windows-1252 character lies below U+10000, so three bytes always suffice.
void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

void AppendWindows1252AsUtf8(std::string& out, std::string_view text) {
  for (const char c : text) {
    AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(c)));
  }
}

struct SequenceStart {
  std::size_t length;
  char32_t bits;
  char32_t minimum;
};

// Lead bytes 0xC0, 0xC1 and 0xF5 and above can only start overlong or out-of-range forms.
std::optional<SequenceStart> ClassifyLead(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return SequenceStart{2, char32_t{lead} & 0x1F, 0x80};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return SequenceStart{3, char32_t{lead} & 0x0F, 0x800};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return SequenceStart{4, char32_t{lead} & 0x07, 0x10000};
  }
  return std::nullopt;
}

// Decodes one UTF-8 sequence at text[pos] and advances pos; empty for any malformed sequence.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  const auto start = ClassifyLead(lead);
  if (!start) {
    return std::nullopt;
  }
  const auto [length, bits, minimum] = *start;
  char32_t codePoint = bits;
  if (text.size() - pos < length) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      return std::nullopt;
    }
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += length;
  return codePoint;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
    } else if (!DecodeUtf8(text, pos)) {
      return false;
    }
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  AppendWindows1252AsUtf8(out, text);
  return out;
}

void AppendDisplayText(std::string& out, std::string_view text) {
  if (IsValidUtf8(text)) {
    out.append(text);
  } else {
    AppendWindows1252AsUtf8(out, text);
  }
}

std::optional<std::string> Utf8ToWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto codePoint = DecodeUtf8(text, pos);
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
