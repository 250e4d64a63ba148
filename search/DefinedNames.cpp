#include "search/DefinedNames.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "platform/text/AsciiCase.h"

namespace tomelet::search {
namespace {

// More definitions than this ending the same way ("run", "get") name nothing in particular.
constexpr std::size_t kMostEndingsNamed = 8;
// Longer queries are sentences, not names.
constexpr std::size_t kMostNameWords = 4;

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.';
}

std::size_t Parts(std::string_view id) {
  return static_cast<std::size_t>(std::count(id.begin(), id.end(), '.')) + 1;
}

std::string_view LastPart(std::string_view id) {
  const auto dot = id.rfind('.');
  return dot == std::string_view::npos ? id : id.substr(dot + 1);
}

struct TKeyed {
  std::string_view Key;
  std::uint32_t Entry = 0;
};

// The entries in the order of their keys, ties in the order given.
std::vector<std::uint32_t> SortedByKey(std::vector<TKeyed> keyed) {
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const TKeyed& a, const TKeyed& b) { return a.Key < b.Key; });
  std::vector<std::uint32_t> entries;
  entries.reserve(keyed.size());
  for (const auto& each : keyed) {
    entries.push_back(each.Entry);
  }
  return entries;
}

// Orders entries by a key of theirs, and finds a key among them.
template <typename TKeyOf>
struct TKeyOrder {
  TKeyOf KeyOf;
  bool operator()(std::uint32_t entry, std::string_view key) const { return KeyOf(entry) < key; }
  bool operator()(std::string_view key, std::uint32_t entry) const { return key < KeyOf(entry); }
};
// Spelled out for compilers without deduction for aggregates (clang before 17, the fuzz build's).
template <typename TKeyOf>
TKeyOrder(TKeyOf) -> TKeyOrder<TKeyOf>;

std::string Joined(const std::vector<std::string_view>& words, std::string_view separator) {
  std::string name;
  for (const std::string_view word : words) {
    name += name.empty() ? "" : separator;
    name += word;
  }
  return name;
}

}  // namespace

std::vector<std::string_view> QueryWords(std::string_view query) {
  std::vector<std::string_view> words;
  for (std::size_t pos = 0; pos < query.size();) {
    const auto start = query.find_first_not_of(" \t", pos);
    if (start == std::string_view::npos) {
      break;
    }
    pos = std::min(query.find_first_of(" \t", start), query.size());
    std::string_view word = query.substr(start, pos - start);
    words.push_back(word.ends_with("()") ? word.substr(0, word.size() - 2) : word);
  }
  return words;
}

std::string DottedName(std::string_view query) {
  const auto words = QueryWords(query);
  if (words.size() == 1) {
    return std::string(words.front());
  }
  if (words.size() > kMostNameWords) {
    return {};
  }
  std::string name = Joined(words, ".");
  return IsProgramName(name) ? name : std::string();
}

bool IsProgramName(std::string_view id) {
  if (id.empty() || id.front() == '.' || id.back() == '.' ||
      (id.front() >= '0' && id.front() <= '9')) {
    return false;
  }
  return std::all_of(id.begin(), id.end(), IsNameCharacter) &&
         id.find("..") == std::string_view::npos;
}

TDefinedNames::TDefinedNames(const format::TDefinitions& definitions) {
  entries_.reserve(definitions.size());
  for (const auto& [id, sections] : definitions) {
    entries_.push_back({static_cast<std::uint32_t>(ids_.size()),
                        static_cast<std::uint32_t>(id.size()),
                        static_cast<std::uint32_t>(sections_.size()),
                        static_cast<std::uint32_t>(sections.size())});
    ids_ += id;
    sections_.insert(sections_.end(), sections.begin(), sections.end());
  }
  folded_ = FoldAscii(ids_);
  std::vector<TKeyed> folded;
  std::vector<TKeyed> lastParts;
  for (std::uint32_t entry = 0; entry < entries_.size(); ++entry) {
    folded.push_back({FoldedId(entry), entry});
    const std::string_view id = Id(entry);
    if (IsProgramName(id) && id.find('.') != std::string_view::npos) {
      lastParts.push_back({LastPart(FoldedId(entry)), entry});
    }
  }
  byFolded_ = SortedByKey(std::move(folded));
  byLastPart_ = SortedByKey(std::move(lastParts));
}

std::string_view TDefinedNames::Id(std::size_t entry) const {
  return std::string_view(ids_).substr(entries_[entry].IdStart, entries_[entry].IdLength);
}

std::string_view TDefinedNames::FoldedId(std::uint32_t entry) const {
  return std::string_view(folded_).substr(entries_[entry].IdStart, entries_[entry].IdLength);
}

Xapian::docid TDefinedNames::FirstSection(std::size_t entry) const {
  return sections_[entries_[entry].SectionsStart];
}

TNamedDefinitions TDefinedNames::Named(std::string_view query) const {
  const std::string name = DottedName(query);
  if (name.empty()) {
    return {};
  }
  if (auto named = NamedAs(name, false); !named.Definitions.empty()) {
    return named;
  }
  // Words typed apart that a name joins: "lru cache" for lru_cache, "named tuple" for
  // namedtuple, "ordered dict" for OrderedDict.
  const auto words = QueryWords(query);
  if (words.size() < 2) {
    return {};
  }
  for (const std::string_view separator : {"_", ""}) {
    if (auto named = NamedAs(Joined(words, separator), true); !named.Definitions.empty()) {
      return named;
    }
  }
  return {};
}

TNamedDefinitions TDefinedNames::NamedAs(const std::string& name, bool joinedWords) const {
  const std::string folded = FoldAscii(name);
  const auto [first, last] =
      std::equal_range(byFolded_.begin(), byFolded_.end(), std::string_view(folded),
                       TKeyOrder{[this](std::uint32_t entry) { return FoldedId(entry); }});
  if (first != last) {
    std::vector<std::uint32_t> exact;
    std::copy_if(first, last, std::back_inserter(exact),
                 [&](std::uint32_t entry) { return Id(entry) == name; });
    return {Collect(exact.empty() ? std::vector<std::uint32_t>(first, last) : exact, Parts(name)),
            true};
  }
  const auto [firstEnding, lastEnding] = std::equal_range(
      byLastPart_.begin(), byLastPart_.end(), LastPart(folded),
      TKeyOrder{[this](std::uint32_t entry) { return LastPart(FoldedId(entry)); }});
  if (!IsProgramName(name) || firstEnding == lastEnding) {
    return {};
  }
  const std::string ending = "." + name;
  const std::string foldedEnding = "." + folded;
  std::vector<std::uint32_t> sameCase;
  std::vector<std::uint32_t> anyCase;
  for (auto it = firstEnding; it != lastEnding; ++it) {
    if (Id(*it).ends_with(ending)) {
      sameCase.push_back(*it);
    } else if (FoldedId(*it).ends_with(foldedEnding)) {
      anyCase.push_back(*it);
    }
  }
  // A single word in another case is more often a word than a class ("lambda", "Lambda"),
  // unless it is words the typist joined.
  const bool anyCaseMeant = joinedWords || name.find('.') != std::string::npos;
  const auto& chosen = !sameCase.empty() || !anyCaseMeant ? sameCase : anyCase;
  if (chosen.size() > kMostEndingsNamed) {
    return {};
  }
  return {Collect(chosen, Parts(name)), false};
}

std::vector<TNamedDefinition> TDefinedNames::Collect(const std::vector<std::uint32_t>& entries,
                                                     std::size_t typedParts) const {
  std::vector<TNamedDefinition> named;
  for (const std::uint32_t entry : entries) {
    const std::string_view id = Id(entry);
    const auto sections = std::span(sections_).subspan(
        entries_[entry].SectionsStart,
        std::min<std::size_t>(entries_[entry].SectionsCount, kMostSectionsNamed));
    named.push_back({std::string(id),
                     {sections.begin(), sections.end()},
                     Parts(id) > typedParts ? Parts(id) - typedParts : 0});
  }
  return named;
}

}  // namespace tomelet::search
