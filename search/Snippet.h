// What a hit shows of its section: the start of the section's text, cut between words with "…"
// where text was left out, without the link bars of a page ("Prev Up ... Home Next").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tomelet::search {

inline constexpr std::string_view kEllipsis = "\u2026";

// At most bytes of text (bytes > kEllipsis.size()), whitespace collapsed. A cut falls after a
// whole word, or between two characters of CJK text, which has no spaces between its words;
// only a word longer than the snippet is cut inside. Indexes written before link bars were left
// out still hold them in their text: they are dropped here.
std::string SnippetText(std::string_view text, std::size_t bytes);

// Whether text holds characters of a script written without spaces between words (Chinese,
// Japanese, Korean), whose words are then found by n-grams.
bool HasCjk(std::string_view text);

}  // namespace tomelet::search
