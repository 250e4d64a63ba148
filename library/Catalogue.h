// What a catalogue of a library shows of each document, for every front end that lists one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/Library.h"

namespace tomelet::library {

struct TCatalogueEntry {
  std::string Name;
  TDocumentFacts Facts;
  std::int64_t Size = 0;
  std::int64_t Modified = 0;  // nanoseconds since the epoch
};

// Reads the facts of every document, opening the ones not open yet for the time it takes.
std::vector<TCatalogueEntry> CatalogueEntries(const TDocumentList& documents);

// "2026-12-09T00:26:31Z".
std::string IsoDate(std::int64_t nanoseconds);

}  // namespace tomelet::library
