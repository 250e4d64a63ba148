#include "search/DefinedNames.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <span>

#include "platform/text/AsciiCase.h"
#include "search/SearchIndex.h"

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

// The slots of a lookup holding count entries: at most half of them full.
std::size_t SlotsFor(std::size_t count) {
  std::size_t slots = 16;
  while (slots < 2 * count) {
    slots *= 2;
  }
  return slots;
}

std::size_t SlotOf(std::string_view key, std::size_t slots) {
  return std::hash<std::string_view>{}(key) & (slots - 1);
}

void Place(std::vector<std::uint32_t>& slots, std::string_view key, std::uint32_t entry) {
  for (std::size_t slot = SlotOf(key, slots.size());; slot = (slot + 1) & (slots.size() - 1)) {
    if (slots[slot] == 0) {
      slots[slot] = entry + 1;
      return;
    }
  }
}

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
    Add(id, sections);
  }
  Finish();
}

TDefinedNames::TDefinedNames(std::string_view table, Xapian::docid lastSection) {
  format::ForEachDefinition(table,
                            [&](std::string_view id, std::span<const Xapian::docid> sections) {
                              // Xapian is never asked for a document the database does not have.
                              if (sections.back() > lastSection) {
                                throw ESearchIndexError(std::string(kDamagedIndexMessage));
                              }
                              Add(id, sections);
                            });
  Finish();
}

void TDefinedNames::Add(std::string_view id, std::span<const Xapian::docid> sections) {
  entries_.push_back(
      {static_cast<std::uint32_t>(ids_.size()), static_cast<std::uint32_t>(id.size()),
       static_cast<std::uint32_t>(sections_.size()), static_cast<std::uint32_t>(sections.size())});
  ids_ += id;
  sections_.insert(sections_.end(), sections.begin(), sections.end());
}

void TDefinedNames::Finish() {
  folded_ = FoldAscii(ids_);
  byFolded_.assign(SlotsFor(entries_.size()), 0);
  std::vector<std::uint32_t> severalParts;
  for (std::uint32_t entry = 0; entry < entries_.size(); ++entry) {
    Place(byFolded_, FoldedId(entry), entry);
    const std::string_view id = Id(entry);
    if (id.find('.') != std::string_view::npos && IsProgramName(id)) {
      severalParts.push_back(entry);
    }
  }
  byLastPart_.assign(SlotsFor(severalParts.size()), 0);
  for (const std::uint32_t entry : severalParts) {
    Place(byLastPart_, FoldedLastPart(entry), entry);
  }
}

template <typename TKeyOf>
std::vector<std::uint32_t> TDefinedNames::Matching(const std::vector<std::uint32_t>& slots,
                                                   std::string_view key,
                                                   const TKeyOf& keyOf) const {
  std::vector<std::uint32_t> found;
  if (slots.empty()) {
    return found;
  }
  for (std::size_t slot = SlotOf(key, slots.size()); slots[slot] != 0;
       slot = (slot + 1) & (slots.size() - 1)) {
    if (keyOf(slots[slot] - 1) == key) {
      found.push_back(slots[slot] - 1);
    }
  }
  // Placed in the ids' order, an entry may still land before an earlier one's slot when the
  // probe wraps around the end.
  std::sort(found.begin(), found.end());
  return found;
}

std::string_view TDefinedNames::Id(std::size_t entry) const {
  return std::string_view(ids_).substr(entries_[entry].IdStart, entries_[entry].IdLength);
}

std::string_view TDefinedNames::FoldedId(std::uint32_t entry) const {
  return std::string_view(folded_).substr(entries_[entry].IdStart, entries_[entry].IdLength);
}

std::string_view TDefinedNames::FoldedLastPart(std::uint32_t entry) const {
  return LastPart(FoldedId(entry));
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
  const auto whole =
      Matching(byFolded_, folded, [this](std::uint32_t entry) { return FoldedId(entry); });
  if (!whole.empty()) {
    std::vector<std::uint32_t> exact;
    std::copy_if(whole.begin(), whole.end(), std::back_inserter(exact),
                 [&](std::uint32_t entry) { return Id(entry) == name; });
    return {Collect(exact.empty() ? whole : exact, Parts(name)), true};
  }
  if (!IsProgramName(name)) {
    return {};
  }
  const auto endings = Matching(byLastPart_, LastPart(folded),
                                [this](std::uint32_t entry) { return FoldedLastPart(entry); });
  if (endings.empty()) {
    return {};
  }
  const std::string ending = "." + name;
  const std::string foldedEnding = "." + folded;
  std::vector<std::uint32_t> sameCase;
  std::vector<std::uint32_t> anyCase;
  for (const std::uint32_t entry : endings) {
    if (Id(entry).ends_with(ending)) {
      sameCase.push_back(entry);
    } else if (FoldedId(entry).ends_with(foldedEnding)) {
      anyCase.push_back(entry);
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
