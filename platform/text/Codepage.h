// Conversions between UTF-8 and Windows-1252, the 8-bit text of documents made on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomelet {

// Strict check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Every byte has a meaning; the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the C1 control characters of the same value, as Windows itself maps them.
std::string Windows1252ToUtf8(std::string_view text);

// Empty when text is not valid UTF-8 or holds a character Windows-1252 cannot represent.
std::optional<std::string> Utf8ToWindows1252(std::string_view text);

// Names and texts for display: every well-formed UTF-8 sequence kept as it is, every other byte
// read as Windows-1252.
std::string DisplayText(std::string_view text);
// The same, appended to out without a temporary string.
void AppendDisplayText(std::string& out, std::string_view text);

}  // namespace tomelet
