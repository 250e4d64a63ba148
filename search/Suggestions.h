// Suggestions while a query is typed: the page titles and defined names whose words begin with
// the words typed, in their order ("asyncio gat" -> asyncio.gather, never a title that only has
// a word starting "gat").
#pragma once

#include <xapian.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"
#include "search/DefinedNames.h"
#include "search/IndexFormat.h"
#include "search/SearchIndex.h"

namespace tomelet::search {

struct TSuggestable {
  TSuggestion Shown;
  bool Generated = false;   // a generated list of links: after every real page
  bool Definition = false;  // a defined name: after the pages that match as well
};

// Every page, then every defined name that reads as one (IsProgramName), on the page of its first
// section. Throws ESearchIndexError (damaged) when a section's page cannot be read.
std::vector<TSuggestable> SuggestableEntries(const std::vector<format::TPageEntry>& pages,
                                             const TDefinedNames& names,
                                             Xapian::Database& database);

class TSuggester {
 public:
  TSuggester() = default;
  // stopper: words typed that a title may leave out ("how to op" -> "Opening files"); may be null.
  TSuggester(std::vector<TSuggestable> candidates, std::unique_ptr<Xapian::Stopper> stopper);

  // Exactly the words typed first (the whole title, or its part before a separator such as
  // " — "), then those starting with the first word typed, then the rest; pages before names,
  // then shorter ones first within each. Thread-safe.
  std::vector<TSuggestion> Suggest(std::string_view typed, std::size_t limit) const;

 private:
  struct TWords {
    std::string Folded;
    std::vector<std::uint32_t> Starts;  // where each word of Folded begins
    std::vector<std::uint32_t> Ends;
    // The words before a title's first separator ("json — JSON encoder — Python 3.11"), which
    // typed alone are the whole title too.
    std::size_t Leading = 0;
    // One bit for the first byte of each word: a title lacking the bit of a word typed that it
    // must have cannot match, which rules out most names without comparing their words.
    std::uint64_t Initials = 0;
  };
  // How the words typed match candidate i: 0 exactly, 1 from its first word, 2 further in;
  // -1 not at all.
  int Match(const TWords& typed, std::uint64_t required, std::size_t candidate) const;
  // The initials of the words typed that a title may not leave out.
  std::uint64_t RequiredInitials(const TWords& typed) const;
  static TWords Words(std::string_view text);

  std::vector<TSuggestable> candidates_;
  std::vector<TWords> words_;
  std::unique_ptr<Xapian::Stopper> stopper_;
};

}  // namespace tomelet::search
