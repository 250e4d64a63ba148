// The document's full-text index: built from its HTML pages, stored as one block of bytes (a
// short header, then a single-file Xapian database) and searched in place from a descriptor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::search {

inline constexpr std::size_t kIndexHeaderSize = 64;
inline constexpr std::uint32_t kIndexFormatVersion = 6;

// Every refusal of an index carries one of these texts.
inline constexpr std::string_view kDamagedIndexMessage = "The search index is damaged";
inline constexpr std::string_view kNewerIndexMessage =
    "The search index was written by a newer version of Tomelet";

class ESearchIndexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TIndexSettings {
  // A language code ("en", "de", "fr-CA") or name for the stemmer; empty means English. An
  // unknown language indexes words unstemmed.
  std::string Language;
  // How many pages will be added, when known: consecutive runs of them are then indexed as
  // shares, on several threads. The bytes depend on it, never on the number of threads.
  std::size_t PageCount = 0;
  // Threads indexing the pages, one adding them and the others reading them ahead; 0 means one
  // per core.
  std::size_t Threads = 0;
  // Bytes of the sections' counted terms held in memory until every page is counted; the rest
  // wait in the builder's scratch folder. The bytes of the index never depend on it.
  std::size_t HeldTermBytes = std::size_t{64} << 20;
};

struct TPageText;

// Each page as the builder read it, numbered in the order pages were added (from 0), for
// whatever else is made of the pages (the document's map), so that no page is parsed twice.
// Called on the builder's threads, several at once.
using TPageReadHandler =
    std::function<void(std::uint64_t number, std::string_view archivePath, const TPageText& text)>;

// Collects pages, then writes the finished index. Pages are indexed on threads of the builder's
// own; AddPage waits while many are queued. The same pages in the same order with the same
// settings always give the same bytes.
class TIndexBuilder {
 public:
  // Throws ESearchIndexError when no scratch folder can be made.
  explicit TIndexBuilder(const TIndexSettings& settings, TPageReadHandler pageRead = {});
  ~TIndexBuilder();
  TIndexBuilder(const TIndexBuilder&) = delete;
  TIndexBuilder& operator=(const TIndexBuilder&) = delete;

  void AddPage(std::string_view archivePath, std::string_view html);
  // Waits until every page added has been indexed and handed to pageRead; the builder cannot
  // take pages afterwards. Throws what indexing threw. Finish does it when it was not done.
  void FinishPages();
  // Header and database; the builder cannot take pages afterwards. Throws what indexing threw.
  std::vector<std::byte> Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// True for names the index reads as HTML pages (".html", ".htm", ".xhtml", any letter case).
bool IsHtmlPageName(std::string_view archivePath);

// The lang attribute of a page's <html> element, empty when absent.
std::string PageLanguage(std::string_view html);

struct TSearchHit {
  std::string Path;    // archive path, "\" separators
  std::string Anchor;  // id on the page, or empty
  std::string Title;
  std::string Snippet;  // HTML: text escaped, matched words inside <b>...</b>
  double Score = 0;
};

struct TSearchResults {
  std::string Query;
  std::uint64_t Total = 0;  // estimated number of matching pages
  bool TotalExact = false;  // Total is a count, not an estimate
  std::vector<TSearchHit> Hits;
};

struct TSuggestion {
  std::string Path;
  std::string Title;   // the page's title, or the defined name
  std::string Anchor;  // where the name is defined on the page; empty for a page
};

class TSearchIndex;
class TTermSummary;

// Reads bytes [start, start + size) of a page of the document an index was built from, by its
// archive path (fewer where the page ends sooner); nullopt when it cannot. Called from the
// threads that search, several at once.
using TPageSource = std::function<std::optional<std::string>(
    std::string_view archivePath, std::uint64_t start, std::uint64_t size)>;

// Bounds the inflated section blocks that every open index of the process keeps for the hits of
// queries asked again (8 MiB unless bounded), and to a quarter of that the start of sections'
// text read back from their pages, for a process that searches one document.
void KeepSectionBlocks(std::size_t bytes);

// One query's ranking in one index, for a caller that merges it with the rankings of others:
// hits are ranked by score alone as far as asked, and read whole (record and snippet) only for
// those shown, without matching again. Holds one of the index's readers until destroyed, so the
// index must outlive it; one thread at a time may use it.
class TRanking {
 public:
  ~TRanking();
  TRanking(const TRanking&) = delete;
  TRanking& operator=(const TRanking&) = delete;

  std::uint64_t Total() const;  // as TSearchResults::Total, from the last ranking asked
  bool TotalExact() const;
  std::size_t Size() const;  // hits ranked so far
  double Score(std::size_t rank) const;
  // The hit at rank (< Size()) with its snippet, as Search gives it. Throws ESearchIndexError
  // (kDamagedIndexMessage) when its record is damaged.
  TSearchHit Hit(std::size_t rank) const;

 private:
  friend class TSearchIndex;
  struct Impl;
  explicit TRanking(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

class TSearchIndex {
 public:
  // Opens the length bytes at offset of the file behind fd (the descriptor is duplicated, the
  // caller keeps its own) after checking the structure of every block, a check skipped for the
  // same bytes of an unchanged file this process found sound before. Throws
  // ESearchIndexError with kDamagedIndexMessage or kNewerIndexMessage when the bytes are not an
  // index this version can read. pages reads the document's pages again for the snippets of an
  // index that does not keep the start of each section's text; without it those hits have none.
  TSearchIndex(int fd, std::int64_t offset, std::int64_t length, TPageSource pages = {});
  ~TSearchIndex();
  TSearchIndex(const TSearchIndex&) = delete;
  TSearchIndex& operator=(const TSearchIndex&) = delete;

  // Pages matching query, best first, one hit per page, hits [start, start + limit). Safe to call
  // from several threads at once. A query that cannot be read as words gives no hits.
  TSearchResults Search(std::string_view query, std::size_t start, std::size_t limit) const;
  // The first limit hits of Search, ranked only; their totals are those Search gives. Safe to
  // call from several threads at once; throws as Search does.
  std::unique_ptr<TRanking> Rank(std::string_view query, std::size_t limit) const;
  // Page titles and defined names ("asyncio.gather") whose words begin with the words typed, in
  // their order, letter case ignored: the exact title first, then those that begin with the
  // text typed. Thread-safe; the first call reads the table of them from the database.
  std::vector<TSuggestion> Suggest(std::string_view typed, std::size_t limit) const;

  std::string Language() const;
  std::size_t PageCount() const;
  // The index's length in bytes, which what a search costs grows with.
  std::uint64_t Bytes() const;
  // The archive path ("\" separators) of every page the index was built from, in its order.
  std::vector<std::string> PagePaths() const;
  // For each page, in PagePaths' order, how far into it its sections' snippets are read: the
  // end of the furthest lead range, 0 when it has none. Throws ESearchIndexError when a record
  // is damaged.
  std::vector<std::uint64_t> LeadEnds() const;
  // Reads every block of the database; throws ESearchIndexError when any is damaged.
  void Check() const;
  // Its terms and names in brief (search/TermSummary.h). Throws ESearchIndexError
  // (kDamagedIndexMessage) when they cannot be read.
  TTermSummary Summary() const;

 private:
  void CheckUnlessKnown(std::int64_t offset, std::int64_t length) const;
  void Load();

  friend class TRanking;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::search
