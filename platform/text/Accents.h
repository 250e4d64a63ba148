// Latin letters with accents read as their plain letters, so that "resume" finds "résumé" as
// people expect of a search field.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// text (UTF-8) with the accented Latin letters of U+00C0 to U+017F made plain ("é" -> "e",
// "Å" -> "A", "ß" -> "ss", "Œ" -> "OE") and combining accents (U+0300 to U+036F) dropped;
// every other byte, a malformed one too, stays as it is.
std::string FoldAccents(std::string_view text);

// True when FoldAccents changes text.
bool HasAccents(std::string_view text);

}  // namespace tomelet
