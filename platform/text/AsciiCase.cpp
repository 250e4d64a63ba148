#include "platform/text/AsciiCase.h"

#include <algorithm>

namespace tomelet {

std::string FoldAscii(std::string_view text) {
  std::string folded(text);
  std::ranges::transform(folded, folded.begin(), FoldAsciiLetter);
  return folded;
}

bool EqualsFoldedAscii(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, {}, FoldAsciiLetter, FoldAsciiLetter);
}

bool StartsWithFoldedAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsFoldedAscii(text.substr(0, prefix.size()), prefix);
}

}  // namespace tomelet
