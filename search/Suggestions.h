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

#include "search/SearchIndex.h"

namespace tomelet::search {

// A page title's own part, before the name of its manual or its subject: "json" of "json — JSON
// encoder and decoder — Python 3.11.2 documentation"; the whole title when it has no separator.
std::string_view TitleName(std::string_view title);

struct TSuggestable {
  TSuggestion Shown;
  bool Generated = false;   // a generated list of links: after every real page
  bool Definition = false;  // a defined name: after the pages that match as well
};

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
  };
  // How the words typed match candidate i: 0 exactly, 1 from its first word, 2 further in;
  // -1 not at all.
  int Match(const TWords& typed, std::size_t candidate) const;
  static TWords Words(std::string_view text);

  std::vector<TSuggestable> candidates_;
  std::vector<TWords> words_;
  std::unique_ptr<Xapian::Stopper> stopper_;
};

}  // namespace tomelet::search
