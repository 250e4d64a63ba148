#include "library/Catalogue.h"

#include <ctime>

namespace tomelet::library {

std::vector<TCatalogueEntry> CatalogueEntries(const TDocumentList& documents) {
  std::vector<TCatalogueEntry> entries;
  entries.reserve(documents.size());
  for (const auto& document : documents) {
    entries.push_back({document->Name(), document->Facts(), document->Stamp().Size,
                       Nanoseconds(document->Stamp().Modified)});
  }
  return entries;
}

std::string IsoDate(std::int64_t nanoseconds) {
  const std::time_t seconds = static_cast<std::time_t>(nanoseconds / 1'000'000'000);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace tomelet::library
