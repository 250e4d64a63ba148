#include "search/DefinedNames.h"

#include <algorithm>

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

std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return folded;
}

std::size_t Parts(std::string_view id) {
  return static_cast<std::size_t>(std::count(id.begin(), id.end(), '.')) + 1;
}

std::string_view LastPart(std::string_view id) {
  const auto dot = id.rfind('.');
  return dot == std::string_view::npos ? id : id.substr(dot + 1);
}

}  // namespace

std::string DottedName(std::string_view query) {
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
  if (words.size() == 1) {
    return std::string(words.front());
  }
  if (words.size() > kMostNameWords) {
    return {};
  }
  std::string name;
  for (const std::string_view word : words) {
    name += name.empty() ? "" : ".";
    name += word;
  }
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

TDefinedNames::TDefinedNames(format::TDefinitions definitions)
    : definitions_(std::move(definitions)) {
  for (const auto& entry : definitions_) {
    const std::string& id = entry.first;
    const std::string folded = Folded(id);
    byFolded_[folded].push_back(&id);
    if (IsProgramName(id) && id.find('.') != std::string::npos) {
      byLastPart_[std::string(LastPart(folded))].push_back(&id);
    }
  }
}

TNamedDefinitions TDefinedNames::Named(std::string_view query) const {
  const std::string name = DottedName(query);
  if (name.empty()) {
    return {};
  }
  const std::string folded = Folded(name);
  if (const auto found = byFolded_.find(folded); found != byFolded_.end()) {
    std::vector<const std::string*> ids;
    for (const std::string* id : found->second) {
      if (*id == name) {
        ids.push_back(id);
      }
    }
    return {Collect(ids.empty() ? found->second : ids, Parts(name)), true};
  }
  const auto found = byLastPart_.find(std::string(LastPart(folded)));
  if (!IsProgramName(name) || found == byLastPart_.end()) {
    return {};
  }
  const std::string ending = "." + name;
  const std::string foldedEnding = "." + folded;
  std::vector<const std::string*> sameCase;
  std::vector<const std::string*> anyCase;
  for (const std::string* id : found->second) {
    if (id->ends_with(ending)) {
      sameCase.push_back(id);
    } else if (Folded(*id).ends_with(foldedEnding)) {
      anyCase.push_back(id);
    }
  }
  const bool severalParts = name.find('.') != std::string::npos;
  const auto& ids = !sameCase.empty() || !severalParts ? sameCase : anyCase;
  if (ids.size() > kMostEndingsNamed) {
    return {};
  }
  return {Collect(ids, Parts(name)), false};
}

std::vector<TNamedDefinition> TDefinedNames::Collect(const std::vector<const std::string*>& ids,
                                                     std::size_t typedParts) const {
  std::vector<TNamedDefinition> named;
  for (const std::string* id : ids) {
    const auto& sections = definitions_.at(*id);
    const auto kept = static_cast<std::ptrdiff_t>(std::min(sections.size(), kMostSectionsNamed));
    named.push_back({*id,
                     {sections.begin(), sections.begin() + kept},
                     Parts(*id) > typedParts ? Parts(*id) - typedParts : 0});
  }
  return named;
}

}  // namespace tomelet::search
