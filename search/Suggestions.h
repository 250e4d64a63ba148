// Suggestions while a query is typed: the page titles and defined names whose words begin with
// the words typed, in their order ("asyncio gat" -> asyncio.gather, never a title that only has
// a word starting "gat").
#pragma once

#include <xapian.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"
#include "search/DefinedNames.h"
#include "search/IndexFormat.h"
#include "search/SearchIndex.h"
#include "search/SectionPages.h"

namespace tomelet::search {

// A candidate as shown, its texts read in place from the index's tables.
struct TSuggestable {
  std::string_view Path;
  std::string_view Title;
  std::string_view Anchor;
  bool Generated = false;   // a generated list of links: after every real page
  bool Definition = false;  // a defined name: after the pages that match as well
};

// Every page, then every defined name that reads as one (IsProgramName), on the page of its first
// section; they read from pages and names, which must outlive them.
std::vector<TSuggestable> SuggestableEntries(const std::vector<format::TPageEntry>& pages,
                                             const TDefinedNames& names,
                                             const TSectionPages& sectionPages);

class TSuggester {
 public:
  TSuggester() = default;
  // stopper: words typed that a title may leave out ("how to op" -> "Opening files"); may be null.
  TSuggester(const std::vector<TSuggestable>& candidates, const Xapian::Stopper* stopper);

  // Exactly the words typed first (the whole title, or its part before a separator such as
  // " — "), then those starting with the first word typed, then the rest; pages before names,
  // then shorter ones first within each. Thread-safe.
  std::vector<TSuggestion> Suggest(std::string_view typed, std::size_t limit) const;

 private:
  struct TWordsView {
    std::string_view Folded;
    std::span<const std::uint32_t> Starts;  // where each word of Folded begins
    std::span<const std::uint32_t> Ends;
    // The words before a title's first separator ("json — JSON encoder — Python 3.11"), which
    // typed alone are the whole title too.
    std::size_t Leading = 0;
    // One bit for the first byte of each word: a title lacking the bit of a word typed that it
    // must have cannot match, which rules out most names without comparing their words.
    std::uint64_t Initials = 0;
  };
  struct TWords {
    std::string Folded;
    std::vector<std::uint32_t> Starts;
    std::vector<std::uint32_t> Ends;
    std::size_t Leading = 0;
    std::uint64_t Initials = 0;
    TWordsView View() const { return {Folded, Starts, Ends, Leading, Initials}; }
  };
  // A candidate's texts lie in text_ and its words' bounds in bounds_, all candidates one after
  // another: a document's ten thousand names then cost a few large blocks, not a handful of
  // small allocations each, which kept several megabytes in a window after its first search.
  struct TCandidate {
    std::uint64_t Initials = 0;
    std::uint32_t Path = 0;  // in paths_
    std::uint32_t Title = 0;
    std::uint32_t TitleSize = 0;
    std::uint32_t Anchor = 0;
    std::uint32_t AnchorSize = 0;
    std::uint32_t Folded = 0;  // the title's own bytes when folding changes none
    std::uint32_t FoldedSize = 0;
    std::uint32_t Bounds = 0;  // WordCount starts, then as many ends
    std::uint32_t WordCount = 0;
    std::uint32_t Leading = 0;
    bool Generated = false;
    bool Definition = false;
  };
  void Add(const TSuggestable& candidate, std::uint32_t path);
  // Where text is in text_, appended unless it is the bytes at `same`.
  std::uint32_t Place(std::string_view text, std::uint32_t same, std::string_view sameText);
  TWordsView WordsOf(const TCandidate& candidate) const;
  TSuggestion Shown(const TCandidate& candidate) const;
  // How the words typed match a title that has the initials they require: 0 exactly, 1 from its
  // first word, 2 further in; -1 not at all.
  int Match(const TWordsView& typed, const TWordsView& title) const;
  // The initials of the words typed that a title may not leave out.
  std::uint64_t RequiredInitials(const TWordsView& typed) const;
  static TWords Words(std::string_view text);

  std::vector<TCandidate> candidates_;
  std::vector<std::string> paths_;
  std::string text_;
  std::vector<std::uint32_t> bounds_;
  const Xapian::Stopper* stopper_ = nullptr;
};

}  // namespace tomelet::search
