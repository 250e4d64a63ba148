#include "platform/text/PercentEscapes.h"

namespace tomelet {
namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The handler's formula: right for hexadecimal digits, and some number for any other character.
int DigitValue(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x30)
    return byte + 208;
  if (byte <= 0x40)
    return byte - 48;
  if (byte <= 0x60)
    return byte - 55;
  return byte - 87;
}

bool IsUnreserved(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("-._~").find(c) != std::string_view::npos;
}

}  // namespace

std::string PercentDecoded(std::string_view text, TPlusSign plus, TBadEscape bad) {
  std::string decoded;
  decoded.reserve(text.size());
  const bool readAnyway = bad == TBadEscape::ReadAnyway;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() &&
        (readAnyway || (IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2])))) {
      decoded += static_cast<char>((16 * DigitValue(text[i + 1]) + DigitValue(text[i + 2])) % 256);
      i += 2;
    } else if (c == '%' && readAnyway && i + 2 == text.size()) {
      decoded += '%';
      i += 1;
    } else {
      decoded += c == '+' && plus == TPlusSign::Space ? ' ' : c;
    }
  }
  return decoded;
}

std::string PercentEncoded(std::string_view text, std::string_view keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    if (IsUnreserved(c) || keep.find(c) != std::string_view::npos) {
      encoded += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

}  // namespace tomelet
