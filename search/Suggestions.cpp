#include "search/Suggestions.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace tomelet::search {
namespace {

// Generated lists of links rank after every real page, whatever the match.
constexpr int kGeneratedRank = 3;

// Letters and digits make words; "_" joins the words of a name ("lru_cache"), so it parts them.
bool IsWordCharacter(unsigned character) {
  return character != '_' && Xapian::Unicode::is_wordchar(character);
}

std::uint64_t Initial(char first) {
  return std::uint64_t{1} << (static_cast<unsigned char>(first) % 64);
}

}  // namespace

std::vector<TSuggestable> SuggestableEntries(const std::vector<format::TPageEntry>& pages,
                                             const TDefinedNames& names,
                                             const TSectionPages& sectionPages) {
  std::vector<TSuggestable> candidates;
  for (const auto& page : pages) {
    candidates.push_back({page.Path, page.Title, {}, page.Generated, false});
  }
  for (std::size_t entry = 0; entry < names.Count(); ++entry) {
    const std::string_view id = names.Id(entry);
    const std::uint64_t page = sectionPages.PageOf(names.FirstSection(entry));
    if (IsProgramName(id) && page < pages.size()) {
      candidates.push_back({pages[page].Path, id, id, false, true});
    }
  }
  return candidates;
}

TSuggester::TSuggester(const std::vector<TSuggestable>& candidates, const Xapian::Stopper* stopper)
    : stopper_(stopper) {
  std::unordered_map<std::string_view, std::uint32_t> paths;
  candidates_.reserve(candidates.size());
  for (const auto& candidate : candidates) {
    const auto [path, added] =
        paths.emplace(candidate.Path, static_cast<std::uint32_t>(paths_.size()));
    if (added) {
      paths_.emplace_back(candidate.Path);
    }
    Add(candidate, path->second);
  }
  text_.shrink_to_fit();
  bounds_.shrink_to_fit();
}

void TSuggester::Add(const TSuggestable& candidate, std::uint32_t path) {
  const TWords words = Words(candidate.Title);
  TCandidate added;
  added.Initials = words.Initials;
  added.Path = path;
  added.Title = static_cast<std::uint32_t>(text_.size());
  added.TitleSize = static_cast<std::uint32_t>(candidate.Title.size());
  text_ += candidate.Title;
  added.Anchor = Place(candidate.Anchor, added.Title, candidate.Title);
  added.AnchorSize = static_cast<std::uint32_t>(candidate.Anchor.size());
  added.Folded = Place(words.Folded, added.Title, candidate.Title);
  added.FoldedSize = static_cast<std::uint32_t>(words.Folded.size());
  added.Bounds = static_cast<std::uint32_t>(bounds_.size());
  added.WordCount = static_cast<std::uint32_t>(words.Starts.size());
  added.Leading = static_cast<std::uint32_t>(words.Leading);
  added.Generated = candidate.Generated;
  added.Definition = candidate.Definition;
  bounds_.insert(bounds_.end(), words.Starts.begin(), words.Starts.end());
  bounds_.insert(bounds_.end(), words.Ends.begin(), words.Ends.end());
  candidates_.push_back(added);
}

std::uint32_t TSuggester::Place(std::string_view text, std::uint32_t same,
                                std::string_view sameText) {
  if (text == sameText) {
    return same;
  }
  const auto at = static_cast<std::uint32_t>(text_.size());
  text_ += text;
  return at;
}

TSuggester::TWordsView TSuggester::WordsOf(const TCandidate& candidate) const {
  const std::span<const std::uint32_t> bounds(bounds_);
  return {std::string_view(text_).substr(candidate.Folded, candidate.FoldedSize),
          bounds.subspan(candidate.Bounds, candidate.WordCount),
          bounds.subspan(candidate.Bounds + candidate.WordCount, candidate.WordCount),
          candidate.Leading, candidate.Initials};
}

TSuggestion TSuggester::Shown(const TCandidate& candidate) const {
  const std::string_view text(text_);
  return {paths_[candidate.Path], std::string(text.substr(candidate.Title, candidate.TitleSize)),
          std::string(text.substr(candidate.Anchor, candidate.AnchorSize))};
}

TSuggester::TWords TSuggester::Words(std::string_view text) {
  TWords words;
  words.Folded = Xapian::Unicode::tolower(std::string(text));
  const char* begin = words.Folded.data();
  bool inWord = false;
  for (Xapian::Utf8Iterator it(words.Folded); it != Xapian::Utf8Iterator(); ++it) {
    const bool wordCharacter = IsWordCharacter(*it);
    const auto offset = static_cast<std::uint32_t>(it.raw() - begin);
    if (wordCharacter && !inWord) {
      words.Starts.push_back(offset);
      words.Initials |= Initial(*it.raw());
    } else if (!wordCharacter && inWord) {
      words.Ends.push_back(offset);
    }
    inWord = wordCharacter;
  }
  if (inWord) {
    words.Ends.push_back(static_cast<std::uint32_t>(words.Folded.size()));
  }
  const std::size_t separator = TitleName(words.Folded).size();
  words.Leading = static_cast<std::size_t>(
      std::lower_bound(words.Starts.begin(), words.Starts.end(), separator) - words.Starts.begin());
  return words;
}

std::uint64_t TSuggester::RequiredInitials(const TWordsView& typed) const {
  std::uint64_t required = 0;
  for (std::size_t k = 0; k < typed.Starts.size(); ++k) {
    const std::string word(typed.Folded.substr(typed.Starts[k], typed.Ends[k] - typed.Starts[k]));
    if (k + 1 == typed.Starts.size() || !stopper_ || !(*stopper_)(word)) {
      required |= Initial(word.front());
    }
  }
  return required;
}

int TSuggester::Match(const TWordsView& typed, const TWordsView& title) const {
  const auto word = [](const TWordsView& words, std::size_t i) {
    return words.Folded.substr(words.Starts[i], words.Ends[i] - words.Starts[i]);
  };
  bool exact = typed.Starts.size() == title.Starts.size() || typed.Starts.size() == title.Leading;
  std::size_t next = 0;
  std::size_t first = title.Starts.size();
  for (std::size_t k = 0; k < typed.Starts.size(); ++k) {
    const std::string_view wanted = word(typed, k);
    std::size_t at = next;
    while (at < title.Starts.size() && !word(title, at).starts_with(wanted)) {
      ++at;
    }
    if (at == title.Starts.size()) {
      if (k + 1 < typed.Starts.size() && stopper_ && (*stopper_)(std::string(wanted))) {
        exact = false;
        continue;
      }
      return -1;
    }
    first = std::min(first, at);
    exact = exact && at == k && word(title, at).size() == wanted.size();
    next = at + 1;
  }
  return exact ? 0 : first == 0 ? 1 : 2;
}

std::vector<TSuggestion> TSuggester::Suggest(std::string_view typed, std::size_t limit) const {
  const TWords typedWords = Words(typed);
  const TWordsView wanted = typedWords.View();
  if (wanted.Starts.empty() || limit == 0) {
    return {};
  }
  struct TRanked {
    int rank;
    bool definition;
    std::size_t length;
    std::size_t index;
    auto operator<=>(const TRanked&) const = default;
  };
  std::vector<TRanked> ranked;
  const std::uint64_t required = RequiredInitials(wanted);
  for (std::size_t i = 0; i < candidates_.size(); ++i) {
    const TCandidate& candidate = candidates_[i];
    if ((required & ~candidate.Initials) != 0) {
      continue;  // most names, ruled out before their words are looked up
    }
    const int match = Match(wanted, WordsOf(candidate));
    if (match >= 0) {
      ranked.push_back({match + (candidate.Generated ? kGeneratedRank : 0), candidate.Definition,
                        candidate.FoldedSize, i});
    }
  }
  const std::size_t count = std::min(limit, ranked.size());
  std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(count),
                    ranked.end());
  std::vector<TSuggestion> suggestions;
  for (std::size_t i = 0; i < count; ++i) {
    suggestions.push_back(Shown(candidates_[ranked[i].index]));
  }
  return suggestions;
}

}  // namespace tomelet::search
