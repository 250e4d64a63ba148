#include "document/ProjectOptions.h"

#include <algorithm>
#include <stdexcept>

namespace tomelet {
namespace {

constexpr std::size_t kShortStringField = 256;
constexpr std::size_t kIntegerWidth = 4;

void RequireInside(std::size_t offset, std::size_t width) {
  if (offset > TProjectOptions::kSize || width > TProjectOptions::kSize - offset) {
    throw std::out_of_range("option field outside the record");
  }
}

}  // namespace

void TProjectOptions::Read(std::span<const std::byte> source) {
  bytes_.fill(std::byte{0});
  const auto count = std::min(source.size(), kSize);
  std::copy_n(source.begin(), count, bytes_.begin());
}

std::string TProjectOptions::ShortStringAt(std::size_t offset) const {
  RequireInside(offset, kShortStringField);
  const auto length = std::to_integer<std::size_t>(bytes_[offset]);
  const auto* text = reinterpret_cast<const char*>(bytes_.data() + offset + 1);
  return std::string(text, length);
}

std::int32_t TProjectOptions::IntegerAt(std::size_t offset) const {
  RequireInside(offset, kIntegerWidth);
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < kIntegerWidth; ++i) {
    value |= std::to_integer<std::uint32_t>(bytes_[offset + i]) << (8 * i);
  }
  return static_cast<std::int32_t>(value);
}

bool TProjectOptions::BooleanAt(std::size_t offset) const {
  RequireInside(offset, 1);
  return bytes_[offset] != std::byte{0};
}

void TProjectOptions::SetShortStringAt(std::size_t offset, std::string_view text) {
  RequireInside(offset, kShortStringField);
  if (text.size() > kShortStringMax) {
    throw std::length_error("text longer than 255 bytes");
  }
  const auto field = std::span(bytes_).subspan(offset, kShortStringField);
  std::fill(field.begin(), field.end(), std::byte{0});
  field[0] = static_cast<std::byte>(text.size());
  std::transform(text.begin(), text.end(), field.begin() + 1,
                 [](char c) { return static_cast<std::byte>(c); });
}

void TProjectOptions::SetIntegerAt(std::size_t offset, std::int32_t value) {
  RequireInside(offset, kIntegerWidth);
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < kIntegerWidth; ++i) {
    bytes_[offset + i] = static_cast<std::byte>((bits >> (8 * i)) & 0xFF);
  }
}

void TProjectOptions::SetBooleanAt(std::size_t offset, bool value) {
  RequireInside(offset, 1);
  bytes_[offset] = value ? std::byte{1} : std::byte{0};
}

}  // namespace tomelet
