// The weights a ranking gives the parts of a query beside its words, which whatever bounds a
// ranking's scores must use too.
#pragma once

namespace tomelet::search {

// The words of a page's title count this many times more than the same words in its text.
inline constexpr double kTitleBoost = 2.0;
// Typed with accents, a word's plain form is found too, below the form typed.
inline constexpr double kPlainFormWeight = 0.5;

}  // namespace tomelet::search
