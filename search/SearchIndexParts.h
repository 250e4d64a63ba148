// The parts of an open index that its units share: the pool of readers, the index's tables and a
// ranking in progress. Internal to search/.
#pragma once

#include <xapian.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "search/DefinedNames.h"
#include "search/IndexFormat.h"
#include "search/SearchIndex.h"
#include "search/SectionBlockCache.h"
#include "search/SectionPages.h"
#include "search/Snippet.h"
#include "search/Suggestions.h"

namespace tomelet::search {

[[noreturn]] inline void ThrowDamaged() {
  throw ESearchIndexError(std::string(kDamagedIndexMessage));
}

// Xapian's errors, and the standard ones a damaged database raises inside it, are the index's
// damage to the caller.
template <typename TWork>
auto AsDamage(const TWork& work) -> decltype(work()) {
  try {
    return work();
  } catch (const Xapian::Error&) {
    ThrowDamaged();
  } catch (const std::length_error&) {
    ThrowDamaged();
  } catch (const std::bad_alloc&) {
    ThrowDamaged();
  }
}

inline std::string Folded(std::string_view text) {
  return Xapian::Unicode::tolower(std::string(text));
}

// Duplicated descriptors share one file position, which Xapian reads while opening.
std::mutex& OpeningLock();

struct TNamedSections {
  // The anchor a named section's hit leads to, instead of its own.
  std::map<Xapian::docid, std::string> Ids;
  // The sections named, above any words.
  Xapian::Query Query;
  // Definitions named by single words, lifting the sections that match the words.
  Xapian::Query Lift;
};

struct TReader {
  Xapian::Database Database;
  Xapian::Stem Stemmer;
  const Xapian::Stopper* Stopper = nullptr;
};

// What a hit's record is read from: its block or, in indexes of version 1, its document's data.
struct THitSource {
  TSectionBlockCache::TShared Block;
  std::string Data;
};

struct TSearchIndex::Impl {
  int fd = -1;
  std::uint32_t version = 0;
  std::int64_t databaseOffset = 0;
  std::uint64_t bytes = 0;
  std::string language;
  std::vector<format::TPageEntry> pages;
  std::vector<std::uint64_t> shareSections;
  TDefinedNames names;
  // Each page title's own part, folded ("pickle" of "pickle — Python object serialization"),
  // with the page.
  std::unordered_multimap<std::string, std::uint64_t> pageNames;
  // Read when first asked for, as the suggestions are.
  mutable std::once_flag headingsRead;
  mutable format::TDefinitions headings;
  // Built when first asked for: an index opened only to search (a library's, reopened often)
  // then costs neither the time nor the memory of a table of every title and name.
  mutable std::once_flag suggesterBuilt;
  mutable TSuggester suggester;
  // Read on the first search, so that ranking one hit a page reads no page value per section.
  mutable std::once_flag sectionPagesRead;
  mutable TSectionPages sectionPages;
  // As format::kFoldedApartKey lists them, read on the first search as the pages of sections
  // are; none for an index written before the list.
  mutable std::once_flag foldedApartRead;
  mutable std::optional<std::vector<std::string>> foldedApart;
  mutable std::mutex poolLock;
  mutable std::vector<std::unique_ptr<TReader>> pool;
  std::shared_ptr<TSectionBlockCache> blocks = SharedSectionBlocks();
  std::shared_ptr<TSectionLeadCache> leads = SharedSectionLeads();
  // This index's part of the shared caches.
  std::uint64_t cacheOwner = NewCacheOwner();
  TPageSource pageSource;

  std::unique_ptr<TReader> Open() const;
  std::unique_ptr<TReader> Lease() const;
  void Return(std::unique_ptr<TReader> reader) const;
  // The sections defining what the query names, each with the id it defines, as a query part.
  TNamedSections Named(TReader& reader, std::string_view query) const;
  // The definitions that single words of a query of several name, as a lift.
  Xapian::Query WordDefinitions(std::string_view query) const;
  // The sections whose heading is the query.
  std::vector<Xapian::docid> Headed(TReader& reader, std::string_view query) const;
  const TSectionPages& PagesOfSections(TReader& reader) const;
  // The first section of each page whose title is the name typed ("re", "os.path").
  std::vector<Xapian::docid> TitledPages(TReader& reader, std::string_view name) const;
  // Indexes before the table of defined names keep each id as a term of its sections.
  TNamedDefinitions NamedByTerms(TReader& reader, std::string_view query) const;
  Xapian::Query Parse(TReader& reader, std::string_view query, Xapian::Query::op defaultOp) const;
  // The query's words with accents folded (ParsePlainForms), below the form typed; none when
  // they cannot find a section the form typed does not.
  Xapian::Query PlainForms(TReader& reader, std::string_view query,
                           Xapian::Query::op defaultOp) const;
  // Whether the plain forms of a query typed without accents can find a section its own form
  // does not: whether they name a folded stem listed apart (or a folded term not stemmed).
  bool FoldedFindsMore(TReader& reader, const Xapian::Query& forms) const;
  // The record of a hit, read in place from `source`, which keeps its bytes.
  format::TSectionView Section(TReader& reader, const Xapian::MSetIterator& match,
                               THitSource& source) const;
  TSectionBlockCache::TShared Block(TReader& reader, std::uint64_t share,
                                    std::uint64_t index) const;
  // The start of the text of the hit's section, kept in its record or read from its page; empty
  // when its page cannot be read.
  std::string StoredText(const Xapian::MSetIterator& match,
                         const format::TSectionView& record) const;
  // Hits [start, start + limit) of query, ranked on a reader of the pool.
  std::unique_ptr<TRanking::Impl> Ranked(std::string_view query, std::size_t start,
                                         std::size_t limit) const;
};

struct TRanking::Impl {
  // Where a ranked hit is read from: the matching that gave it and its place there.
  struct TPlace {
    std::size_t Matching;
    Xapian::doccount At;
    double Score;
  };

  Impl(const TSearchIndex::Impl& index, std::unique_ptr<TReader> reader);
  // The Xapian objects go before the reader returns to the pool, where another thread may take
  // it: their handles on its database count references without atomics.
  ~Impl() {
    marker.reset();
    matchings.clear();
    enquire.reset();
    named = {};
    if (sound) {
      index.Return(std::move(reader));
    }
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Runs work with its failures as the index's damage; the reader of a ranking that failed is
  // dropped rather than used again.
  template <typename TWork>
  auto Guarded(const TWork& work) -> decltype(work()) {
    try {
      return AsDamage(work);
    } catch (...) {
      sound = false;
      throw;
    }
  }
  // Picks the query's form (all its words, else any of them) by matching the first hits.
  void Start(std::string_view query, std::size_t start, std::size_t limit);
  struct TMatched {
    Xapian::MSet Sections;
    // The place in Sections of each page's best section, best first.
    std::vector<Xapian::doccount> BestOfPages;
  };
  TMatched Matched(std::size_t wanted) const;
  std::vector<Xapian::doccount> BestOfPages(const Xapian::MSet& matches) const;
  void Keep(TMatched matched, std::size_t start, std::size_t limit);
  TSearchHit Hit(std::size_t rank) const;
  // What a hit shows of text, with the query's words marked.
  std::string Snippet(const Xapian::MSet& matches, std::string_view text) const;

  const TSearchIndex::Impl& index;
  std::unique_ptr<TReader> reader;
  std::optional<Xapian::Enquire> enquire;
  TNamedSections named;
  std::vector<Xapian::MSet> matchings;
  std::vector<TPlace> places;
  // Made for the first snippet, from the query matched; null inside when Xapian's highlighter
  // marks this query's snippets.
  mutable std::optional<std::unique_ptr<TSnippetMarker>> marker;
  std::uint64_t total = 0;
  bool totalExact = false;
  // False once reading failed: the reader is then dropped rather than used again.
  bool sound = true;
};

}  // namespace tomelet::search
