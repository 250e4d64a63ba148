// Percent escapes in addresses: "%XY" stands for the byte with hexadecimal value XY.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// Whether "+" stands for a space (form encoding) or for itself (paths).
enum class TPlusSign { Itself, Space };

// What becomes of an escape that is not "%" and two hexadecimal digits.
enum class TBadEscape {
  // Written as it stands.
  Kept,
  // Read as the protocol handler reads it: any two characters after "%" give a byte, each
  // counted as a digit by the handler's formula; a "%" followed by a single last character
  // stays "%" and that character is dropped; a "%" at the very end stays "%".
  ReadAnyway,
};

// The text with its escapes replaced by their bytes. Never fails.
std::string PercentDecoded(std::string_view text, TPlusSign plus, TBadEscape bad);

// The text with every byte except ASCII letters, digits, "-._~" and the characters of keep
// written as "%XY", upper-case digits. Never fails.
std::string PercentEncoded(std::string_view text, std::string_view keep);

}  // namespace tomelet
