#include "library/IndexCopies.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "document/Document.h"
#include "search/DocumentIndex.h"
#include "search/SoundIndexes.h"

namespace tomelet::library {
namespace {

// compare: a document not known yet whose file has a kept one's size is read and compared.
std::optional<std::uint64_t> ContentOf(const TLibraryDocument& document, bool compare = false) {
  const auto identity = IdentityAt(document.Path());
  if (!identity) {
    return std::nullopt;
  }
  auto content = search::SoundContentOf(*identity);
  if (!content && compare && search::MayBeCopyOfSound(identity->Size)) {
    try {
      if (search::IsCopyOfSoundIndex(*OpenDocument(document.Path()))) {
        content = search::SoundContentOf(*identity);
      }
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  return content;
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

void TakeOutCopies(std::vector<const TLibraryDocument*>& group,
                   const std::vector<const TLibraryDocument*>& ranked, TIndexCopies& copies) {
  std::map<std::uint64_t, const TLibraryDocument*> contents;
  for (const auto* document : ranked) {
    if (const auto content = ContentOf(*document)) {
      contents.emplace(*content, document);
    }
  }
  if (contents.empty()) {
    return;
  }
  std::erase_if(group, [&](const TLibraryDocument* document) {
    const auto content = ContentOf(*document, true);
    const auto original = content ? contents.find(*content) : contents.end();
    if (original == contents.end()) {
      return false;
    }
    copies.Copies.emplace_back(document, original->second);
    return true;
  });
}

}  // namespace tomelet::library
