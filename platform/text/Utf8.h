// Reading and writing UTF-8 one character at a time, the caller choosing what a malformed byte
// becomes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tomelet {

// What a byte that does not start a well-formed sequence (a stray continuation byte, a sequence
// cut short, an overlong form, a surrogate, anything above U+10FFFF) becomes. Under every policy
// such a byte is passed over alone, so reading picks up again at the next byte.
enum class TMalformedUtf8 {
  Refuse,    // no character: the caller refuses the whole text
  Replace,   // U+FFFD, the character Unicode keeps for what cannot be read
  KeepByte,  // kMalformedUtf8Byte plus the byte's value: never equal to a real character
};

// Above U+10FFFF, so a kept byte never meets a code point.
inline constexpr char32_t kMalformedUtf8Byte = 0x110000;

// Reads the character at text[pos] (pos must lie inside text) and moves pos past it. Empty only
// under TMalformedUtf8::Refuse, for a malformed sequence.
std::optional<char32_t> NextUtf8Char(std::string_view text, std::size_t& pos,
                                     TMalformedUtf8 policy);

// Appends codePoint, which must be at most U+10FFFF, as one to four bytes.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace tomelet
