#include <array>
#include <cstdio>

#include "platform/com/Com.h"

namespace tomelet {
namespace {

constexpr std::string_view kGuidShape = "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX";

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Collects the 32 hex digits of the canonical shape as 16 bytes, in text order.
std::optional<std::array<std::uint8_t, 16>> HexBytes(std::string_view body) {
  if (body.size() != kGuidShape.size())
    return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (kGuidShape[i] == '-') {
      if (body[i] != '-')
        return std::nullopt;
      continue;
    }
    int value = HexValue(body[i]);
    if (value < 0)
      return std::nullopt;
    bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] << 4 | value);
    ++nibble;
  }
  return bytes;
}

}  // namespace

std::optional<GUID> GUID::Parse(std::string_view text) {
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, text.size() - 2);
  }
  auto bytes = HexBytes(text);
  if (!bytes)
    return std::nullopt;
  const auto& b = *bytes;
  GUID guid;
  guid.Data1 =
      std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
  guid.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  guid.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  for (int i = 0; i < 8; ++i)
    guid.Data4[i] = b[8 + i];
  return guid;
}

std::string GUID::ToString() const {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(Data1), unsigned{Data2}, unsigned{Data3}, unsigned{Data4[0]},
                unsigned{Data4[1]}, unsigned{Data4[2]}, unsigned{Data4[3]}, unsigned{Data4[4]},
                unsigned{Data4[5]}, unsigned{Data4[6]}, unsigned{Data4[7]});
  return text;
}

}  // namespace tomelet

std::size_t std::hash<tomelet::GUID>::operator()(const tomelet::GUID& g) const noexcept {
  std::uint64_t high = std::uint64_t{g.Data1} << 32 | std::uint64_t{g.Data2} << 16 | g.Data3;
  std::uint64_t low = 0;
  for (std::uint8_t byte : g.Data4)
    low = low << 8 | byte;
  return std::hash<std::uint64_t>{}(high ^ (low * 0x9E3779B97F4A7C15ULL));
}
