// What a hit shows of its section: the start of the section's text, cut between words with "…"
// where text was left out, without the link bars of a page ("Prev Up ... Home Next").
#pragma once

#include <xapian.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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

// Marks the words of a query in snippets as the index made its terms of them: each word
// lower-cased, and stemmed for the query's stemmed terms. What each word written is as terms is
// kept by the thread across queries, where a highlighter reading the query anew for each snippet
// stems every word again. One thread at a time.
class TSnippetMarker {
 public:
  // Null when the query's words are not all plain words, whose marks it then leaves to
  // Xapian's highlighter: CJK n-grams, terms holding other characters ("3.11"), or a term both
  // in a phrase and out of it. Words of phrases are not marked, as Xapian marks none.
  static std::unique_ptr<TSnippetMarker> ForQuery(const Xapian::Query& query, std::string language,
                                                  Xapian::Stem stemmer);

  // The text HTML-escaped, each word of the query inside <b>...</b>. Null when the text holds
  // what it leaves to Xapian's highlighter (CJK, punctuation at either end).
  std::optional<std::string> Marked(std::string_view text) const;

 private:
  struct TWordTerms {
    std::string Lowered;
    std::string Stem;
  };
  // Not noexcept: the table then keeps each word's hash beside it, and a lookup compares hashes
  // before words instead of hashing again each word it passes in the bucket.
  struct THash {
    using is_transparent = void;
    std::size_t operator()(std::string_view word) const {
      return std::hash<std::string_view>{}(word);
    }
  };
  using TWordTermsKept = std::unordered_map<std::string, TWordTerms, THash, std::equal_to<>>;

  TSnippetMarker(std::string language, Xapian::Stem stemmer);
  static TWordTermsKept& ThreadWordTerms(const std::string& language);
  const TWordTerms& TermsOf(TWordTermsKept& kept, std::string_view word) const;
  bool IsQueryWord(const TWordTerms& terms) const;

  std::string language_;
  Xapian::Stem stemmer_;
  std::vector<std::string> words_;  // terms as written
  std::vector<std::string> stems_;  // stemmed terms, without their prefix
};

}  // namespace tomelet::search
