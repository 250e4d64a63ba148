// The one ASCII case fold of the system: names, schemes and switches compare with the letters A
// to Z folded to lower case and every other byte exactly.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

constexpr char FoldAsciiLetter(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldAscii(std::string_view text);
bool EqualsFoldedAscii(std::string_view a, std::string_view b);
bool StartsWithFoldedAscii(std::string_view text, std::string_view prefix);

}  // namespace tomelet
