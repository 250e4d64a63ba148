#include "library/IndexCopies.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "search/SoundIndexes.h"

namespace tomelet::library {
namespace {

std::optional<std::uint64_t> ContentOf(const TLibraryDocument& document) {
  const auto identity = IdentityAt(document.Path());
  return identity ? search::SoundContentOf(*identity) : std::nullopt;
}

}  // namespace

TIndexCopies FindIndexCopies(const std::vector<const TLibraryDocument*>& documents) {
  std::vector<std::optional<std::uint64_t>> contents;
  contents.reserve(documents.size());
  // The document ranked for each content: the first open one, else the first.
  std::map<std::uint64_t, const TLibraryDocument*> ranked;
  for (const auto* document : documents) {
    contents.push_back(ContentOf(*document));
    if (contents.back()) {
      auto [place, added] = ranked.emplace(*contents.back(), document);
      if (!added && !place->second->IsOpen() && document->IsOpen()) {
        place->second = document;
      }
    }
  }
  TIndexCopies copies;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    const auto* chosen = contents[i] ? ranked.at(*contents[i]) : documents[i];
    if (chosen == documents[i]) {
      copies.Ranked.push_back(documents[i]);
    } else {
      copies.Copies.emplace_back(documents[i], chosen);
    }
  }
  return copies;
}

}  // namespace tomelet::library
