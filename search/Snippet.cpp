#include "search/Snippet.h"

#include <xapian.h>

#include <algorithm>
#include <map>

namespace tomelet::search {
namespace {

// DocBook's link bars, as indexes written before they were left out keep them: above the page
// "Prev Up PARENT Home Next", below it "Prev Up Next PREVIOUS Home NEXT" up to the end.
constexpr std::string_view kBarStart = "Prev Up ";
constexpr std::string_view kHeaderEnd = " Home Next";
constexpr std::string_view kFooterStart = "Prev Up Next";

bool IsCjk(unsigned c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF);
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

unsigned CharacterAt(std::string_view text, std::size_t at) {
  return at < text.size() ? *Xapian::Utf8Iterator(text.data() + at, text.size() - at) : 0;
}

// A place between two characters where one of them is CJK is between two words.
bool IsCjkBoundary(std::string_view text, std::size_t at) {
  std::size_t before = at;
  while (before > 0 && IsContinuationByte(text[--before])) {
  }
  return IsCjk(CharacterAt(text, at)) || (at > 0 && IsCjk(CharacterAt(text, before)));
}

std::size_t FindBar(std::string_view text, std::string_view bar) {
  for (auto at = text.find(bar); at != std::string_view::npos; at = text.find(bar, at + 1)) {
    if (at == 0 || text[at - 1] == ' ') {
      return at;
    }
  }
  return std::string_view::npos;
}

std::string WithoutLinkBars(std::string_view text) {
  std::string kept(text);
  for (auto bar = FindBar(kept, kBarStart); bar != std::string::npos;
       bar = FindBar(kept, kBarStart)) {
    if (FindBar(kept, kFooterStart) == bar) {
      kept.erase(bar);
      continue;
    }
    const auto end = kept.find(kHeaderEnd, bar);
    if (end == std::string::npos) {
      break;
    }
    kept.erase(bar, end + kHeaderEnd.size() - bar);
  }
  return kept;
}

std::string Collapsed(std::string_view text) {
  std::string collapsed;
  for (const char c : text) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (!space) {
      collapsed += c;
    } else if (!collapsed.empty() && collapsed.back() != ' ') {
      collapsed += ' ';
    }
  }
  while (!collapsed.empty() && collapsed.back() == ' ') {
    collapsed.pop_back();
  }
  return collapsed;
}

bool IsTrailingPunctuation(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ':' || c == '(' || c == '-';
}

constexpr std::string_view kRightQuote = "\u2019";
// Words of texts kept a thread and a language, beyond which they start afresh.
constexpr std::size_t kMostWordsKept = 4096;

bool IsWordCharacter(unsigned c) {
  if (c < 0x80) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }
  return Xapian::Unicode::is_wordchar(c);
}

// A character of two to four bytes; a byte that begins none stands for itself, as Xapian reads it.
std::pair<unsigned, std::size_t> DecodedFrom(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length == 1 || at + length > text.size()) {
    return {lead, at + 1};
  }
  unsigned c = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuationByte(text[at + i])) {
      return {lead, at + 1};
    }
    c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
  }
  return {c, at + length};
}

// The character at `at` and where the next begins.
inline std::pair<unsigned, std::size_t> CharacterFrom(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) [[likely]] {
    return {byte, at + 1};
  }
  return DecodedFrom(text, at);
}

bool IsInfix(unsigned c) {
  return c == '\'' || c == '&' || c == 0x2019;
}

// Where the word starting at `at` ends, as the index's terms were cut: across an apostrophe or
// an ampersand between word characters ("don't", "AT&T"); `at` when no word starts there.
std::size_t WordEnd(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size()) {
    const auto [c, next] = CharacterFrom(text, end);
    if (IsWordCharacter(c)) {
      end = next;
    } else if (end > at && IsInfix(c) && next < text.size() &&
               IsWordCharacter(CharacterFrom(text, next).first)) {
      end = next;
    } else {
      break;
    }
  }
  return end;
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (c == '<') {
      out.append("&lt;");
    } else if (c == '>') {
      out.append("&gt;");
    } else if (c == '&') {
      out.append("&amp;");
    } else {
      out.push_back(c);
    }
  }
}

// What may follow a text's last word for both highlighters to show it the same way.
bool IsPlainEnd(std::string_view tail) {
  for (const std::string_view plain : {"", ".", ")", ").", "\u2026", ")\u2026"}) {
    if (tail == plain) {
      return true;
    }
  }
  return false;
}

// Each term of the query's phrases (and NEAR groups), as often as it appears in them.
void CountPhrased(const Xapian::Query& query, std::map<std::string, std::size_t>& phrased) {
  const auto type = query.get_type();
  if (type == Xapian::Query::OP_PHRASE || type == Xapian::Query::OP_NEAR) {
    for (auto it = query.get_terms_begin(); it != query.get_terms_end(); ++it) {
      ++phrased[*it];
    }
    return;
  }
  for (std::size_t i = 0; i < query.get_num_subqueries(); ++i) {
    CountPhrased(query.get_subquery(i), phrased);
  }
}

bool IsPlainWord(std::string_view term) {
  return !term.empty() && WordEnd(term, 0) == term.size() && !HasCjk(term);
}

}  // namespace

std::string SnippetText(std::string_view text, std::size_t bytes) {
  std::string shown = Collapsed(WithoutLinkBars(text));
  if (shown.size() <= bytes) {
    return shown;
  }
  std::size_t end = bytes - kEllipsis.size();
  while (end > 0 && IsContinuationByte(shown[end])) {
    --end;
  }
  if (shown[end] != ' ' && !IsCjkBoundary(shown, end)) {
    const auto space = shown.rfind(' ', end);
    end = space != std::string::npos && space > 0 ? space : end;
  }
  while (end > 1 && IsTrailingPunctuation(shown[end - 1])) {
    --end;
  }
  shown.resize(end);
  return shown + std::string(kEllipsis);
}

bool HasCjk(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const auto [c, next] = CharacterFrom(text, at);
    if (IsCjk(c)) {
      return true;
    }
    at = next;
  }
  return false;
}

TSnippetMarker::TSnippetMarker(std::string language, Xapian::Stem stemmer)
    : language_(std::move(language)), stemmer_(std::move(stemmer)) {}

std::unique_ptr<TSnippetMarker> TSnippetMarker::ForQuery(const Xapian::Query& query,
                                                         std::string language,
                                                         Xapian::Stem stemmer) {
  std::map<std::string, std::size_t> phrased;
  CountPhrased(query, phrased);
  std::map<std::string, std::size_t> all;
  for (auto it = query.get_terms_begin(); it != query.get_terms_end(); ++it) {
    ++all[*it];
  }
  std::unique_ptr<TSnippetMarker> marker(
      new TSnippetMarker(std::move(language), std::move(stemmer)));
  for (const auto& [term, count] : all) {
    const auto inPhrases = phrased.find(term);
    if (inPhrases != phrased.end()) {
      if (inPhrases->second < count) {
        return nullptr;  // in a phrase and out of it: marked as Xapian's highlighter pleases
      }
      continue;
    }
    const bool stemmed = term.size() > 1 && term[0] == 'Z';
    const std::string_view word = stemmed ? std::string_view(term).substr(1) : term;
    if (!word.empty() && word[0] >= 'A' && word[0] <= 'Z') {
      continue;  // a prefixed term: titles, names, folded forms
    }
    if (!IsPlainWord(word)) {
      return nullptr;
    }
    (stemmed ? marker->stems_ : marker->words_).emplace_back(word);
  }
  return marker;
}

// Only texts that begin with a word and end in one of a few plain ways, without words such as
// "C++", are marked here: Xapian's highlighter follows rules of its own for the others.
std::optional<std::string> TSnippetMarker::Marked(std::string_view text) const {
  if (text.empty() || WordEnd(text, 0) == 0 || HasCjk(text)) {
    return std::nullopt;
  }
  auto& terms = ThreadWordTerms(language_);
  std::string marked;
  marked.reserve(text.size() + 32);
  std::size_t lastWordEnd = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = WordEnd(text, at);
    if (end == at) {
      const auto [c, next] = CharacterFrom(text, at);
      AppendEscaped(marked, text.substr(at, next - at));
      at = next;
      continue;
    }
    if (end < text.size() && (text[end] == '+' || text[end] == '#')) {
      return std::nullopt;  // "C++", "C#": the highlighters cut such words differently
    }
    const std::string_view word = text.substr(at, end - at);
    const bool mark = IsQueryWord(TermsOf(terms, word));
    marked += mark ? "<b>" : "";
    AppendEscaped(marked, word);
    marked += mark ? "</b>" : "";
    at = lastWordEnd = end;
  }
  if (!IsPlainEnd(text.substr(lastWordEnd))) {
    return std::nullopt;
  }
  return marked;
}

const TSnippetMarker::TWordTerms& TSnippetMarker::TermsOf(TWordTermsKept& kept,
                                                          std::string_view word) const {
  if (const auto found = kept.find(word); found != kept.end()) {
    return found->second;
  }
  if (kept.size() >= kMostWordsKept) {
    kept.clear();
  }
  std::string lowered(word);
  if (std::all_of(word.begin(), word.end(), [](char c) { return (c & 0x80) == 0; })) {
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  } else {
    lowered = Xapian::Unicode::tolower(lowered);
  }
  for (auto quote = lowered.find(kRightQuote); quote != std::string::npos;
       quote = lowered.find(kRightQuote, quote)) {
    lowered.replace(quote, kRightQuote.size(), "'");
  }
  std::string stem = stemmer_(lowered);
  return kept.emplace(std::string(word), TWordTerms{std::move(lowered), std::move(stem)})
      .first->second;
}

bool TSnippetMarker::IsQueryWord(const TWordTerms& terms) const {
  return std::find(words_.begin(), words_.end(), terms.Lowered) != words_.end() ||
         std::find(stems_.begin(), stems_.end(), terms.Stem) != stems_.end();
}

TSnippetMarker::TWordTermsKept& TSnippetMarker::ThreadWordTerms(const std::string& language) {
  thread_local std::map<std::string, TWordTermsKept, std::less<>> byLanguage;
  return byLanguage[language];
}

}  // namespace tomelet::search
