// Reading the index: a small pool of readers, each with its own database on a duplicated
// descriptor and its own stemmer, so that queries on several threads never share a Xapian object
// (their handles count references without atomics).
#include "search/SearchIndex.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/text/Accents.h"
#include "search/DefinedNames.h"
#include "search/DefinitionSource.h"
#include "search/IndexFormat.h"
#include "search/ParsedQueries.h"
#include "search/RankingWeights.h"
#include "search/RememberingStemmer.h"
#include "search/SectionBlockCache.h"
#include "search/SectionPages.h"
#include "search/Snippet.h"
#include "search/SoundIndexes.h"
#include "search/Suggestions.h"
#include "search/TermSummary.h"

namespace tomelet::search {
namespace {

constexpr std::size_t kSnippetBytes = 200;
// Above the weight of any words, so the sections defining a typed name come first.
constexpr double kDefinitionWeight = 250.0;
// A name typed without its start ("path join", "rmtree") means the definitions ending so, the
// shortest names first (shutil.rmtree before test.support.os_helper.rmtree); among those of one
// length the words rank them.
constexpr double kPartBeforeWeight = 5.0;
// A module's namesake named by one of several words ("dataclass decorator" for
// dataclasses.dataclass) lifts its section over those that merely use the words, among the
// sections that match them.
constexpr double kWordDefinitionWeight = 20.0;
constexpr std::size_t kFewestHeadingWords = 3;
// Sections matched for each page asked, and how many times more when they were too few pages.
constexpr std::size_t kSectionsAPage = 5;
constexpr Xapian::doccount kMoreSections = 4;

[[noreturn]] void ThrowDamaged() {
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

// Duplicated descriptors share one file position, which Xapian reads while opening.
std::mutex& OpeningLock() {
  static std::mutex lock;
  return lock;
}

// A description of the file of its own: its reads move no position another descriptor shares.
// -1 when there is none to be had (no /proc).
int Reopen(int fd) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return ::open(path, O_RDONLY | O_CLOEXEC);
}

// At most one structure check a core at once: each is a child process reading the whole index.
class TCheckSlot {
 public:
  TCheckSlot() { Slots().acquire(); }
  ~TCheckSlot() { Slots().release(); }
  TCheckSlot(const TCheckSlot&) = delete;
  TCheckSlot& operator=(const TCheckSlot&) = delete;

 private:
  static std::counting_semaphore<>& Slots() {
    static std::counting_semaphore<> slots(std::max<std::ptrdiff_t>(
        1, static_cast<std::ptrdiff_t>(std::thread::hardware_concurrency())));
    return slots;
  }
};

// The description Reopen gave, closed when the check is done.
class TOwnDescription {
 public:
  explicit TOwnDescription(int fd) : fd_(Reopen(fd)) {}
  ~TOwnDescription() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  TOwnDescription(const TOwnDescription&) = delete;
  TOwnDescription& operator=(const TOwnDescription&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

int DuplicateAt(int fd, std::int64_t position) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    throw ESearchIndexError("Cannot open the search index");
  }
  if (::lseek(copy, position, SEEK_SET) != position) {
    ::close(copy);
    throw ESearchIndexError("Cannot open the search index");
  }
  return copy;
}

std::string Folded(std::string_view text) {
  return Xapian::Unicode::tolower(std::string(text));
}

// The same words looked up among page titles, to lift the page that is about them.
Xapian::Query TitleQuery(const Xapian::Query& parsed) {
  std::vector<Xapian::Query> titleTerms;
  for (auto it = parsed.get_unique_terms_begin(); it != parsed.get_unique_terms_end(); ++it) {
    const std::string term = *it;
    if (term.starts_with('Z')) {
      titleTerms.emplace_back("Z" + std::string(format::kTitlePrefix) + term.substr(1));
    }
  }
  return Xapian::Query(Xapian::Query::OP_OR, titleTerms.begin(), titleTerms.end());
}

// Whether any term of the query is in the database: one that has none matches nothing, and left
// out it costs no reading of the posting lists of the words it is joined with.
bool AnyIn(const Xapian::Database& database, const Xapian::Query& query) {
  for (auto it = query.get_unique_terms_begin(); it != query.get_unique_terms_end(); ++it) {
    if (database.term_exists(*it)) {
      return true;
    }
  }
  return false;
}

// Snippets stem every word of their text, and the same words recur from hit to hit.
constexpr std::size_t kMostRememberedStems = 8192;

// The stemmer of a reader: one that stems nothing stays as it is, which the query parser and
// the snippets tell apart.
Xapian::Stem ReaderStemmer(const std::string& language) {
  Xapian::Stem stemmer = format::MakeStemmer(language);
  if (stemmer.is_none()) {
    return stemmer;
  }
  return Xapian::Stem(new TRememberingStemmer(language, std::move(stemmer), kMostRememberedStems));
}

// A name whose module is named after it: dataclasses.dataclass, pprint.pprint, not
// ast.comprehension, where the word is more likely meant as a word.
bool IsNamesake(std::string_view id) {
  const auto dot = id.find('.');
  const auto last = id.rfind('.');
  return dot != std::string_view::npos &&
         Folded(id.substr(0, dot)).starts_with(Folded(id.substr(last + 1)));
}

// The sections given, each with its weight, as a query part.
Xapian::Query SectionsQuery(const std::map<Xapian::docid, double>& weights) {
  std::vector<Xapian::docid> documents;
  std::vector<double> documentWeights;
  for (const auto& [document, weight] : weights) {
    documents.push_back(document);
    documentWeights.push_back(weight);
  }
  return Xapian::Query(
      (new TDefinitionSource(std::move(documents), std::move(documentWeights)))->release());
}

}  // namespace

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
  std::unique_ptr<Xapian::Stopper> Stopper;
};

// What a hit's record is read from: its block or, in indexes of version 1, its document's data.
struct THitSource {
  TSectionBlockCache::TBlock Block;
  std::string Data;
};

struct TSearchIndex::Impl {
  int fd = -1;
  std::uint32_t version = 0;
  std::int64_t databaseOffset = 0;
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
  mutable std::mutex poolLock;
  mutable std::vector<std::unique_ptr<TReader>> pool;
  std::shared_ptr<TSectionBlockCache> blocks = TSectionBlockCache::Shared();
  // This index's blocks in the shared cache.
  std::uint64_t blockOwner = TSectionBlockCache::NewOwner();

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
  Xapian::Query Parse(TReader& reader, std::string_view query, Xapian::Query::op defaultOp,
                      std::string_view prefix = {}) const;
  // The query's words with accents folded, found in the sections' folded words and, when
  // typed with accents, in the words of sections written without; below the form typed.
  Xapian::Query PlainForms(TReader& reader, std::string_view query,
                           Xapian::Query::op defaultOp) const;
  // The record of a hit, read in place from `source`, which keeps its bytes.
  format::TSectionView Section(TReader& reader, const Xapian::MSetIterator& match,
                               THitSource& source) const;
  TSectionBlockCache::TBlock Block(TReader& reader, std::uint64_t share, std::uint64_t index) const;
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

  Impl(const TSearchIndex::Impl& index, std::unique_ptr<TReader> reader)
      : index(index), reader(std::move(reader)), enquire(this->reader->Database) {}
  // The Xapian objects go before the reader returns to the pool, where another thread may take
  // it: their handles on its database count references without atomics.
  ~Impl() {
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

  const TSearchIndex::Impl& index;
  std::unique_ptr<TReader> reader;
  std::optional<Xapian::Enquire> enquire;
  TNamedSections named;
  std::vector<Xapian::MSet> matchings;
  std::vector<TPlace> places;
  std::uint64_t total = 0;
  bool totalExact = false;
  // False once reading failed: the reader is then dropped rather than used again.
  bool sound = true;
};

TSearchIndex::TSearchIndex(int fd, std::int64_t offset, std::int64_t length)
    : impl_(std::make_unique<Impl>()) {
  std::vector<std::byte> header(kIndexHeaderSize);
  if (length < static_cast<std::int64_t>(kIndexHeaderSize) ||
      ::pread(fd, header.data(), header.size(), offset) != static_cast<ssize_t>(header.size())) {
    ThrowDamaged();
  }
  const auto decoded = format::DecodeHeader(header);
  if (!decoded) {
    ThrowDamaged();
  }
  if (decoded->Version > kIndexFormatVersion) {
    throw ESearchIndexError(std::string(kNewerIndexMessage));
  }
  if (decoded->Version == 0 ||
      decoded->DatabaseSize != static_cast<std::uint64_t>(length) - kIndexHeaderSize) {
    ThrowDamaged();
  }
  impl_->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (impl_->fd < 0) {
    throw ESearchIndexError("Cannot open the search index");
  }
  impl_->databaseOffset = offset + static_cast<std::int64_t>(kIndexHeaderSize);
  impl_->version = decoded->Version;
  try {
    CheckUnlessKnown(offset, length);
    Load();
  } catch (...) {
    ::close(impl_->fd);
    impl_->fd = -1;
    throw;
  }
}

// Xapian trusts the structure of its trees while searching; a crafted index could make it read
// freed memory, so the whole structure is checked before the first query, unless this process
// found the same bytes of the same unchanged file sound before.
void TSearchIndex::CheckUnlessKnown(std::int64_t offset, std::int64_t length) const {
  const auto block = IdentifyIndexBlock(impl_->fd, offset, length);
  const TCheckTurn turn(block);
  if (block && WasFoundSound(*block)) {
    return;
  }
  const auto began = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  Check();
  if (block) {
    RememberSound(*block, began);
  }
}

void TSearchIndex::Load() {
  auto reader = impl_->Open();
  try {
    impl_->language = reader->Database.get_metadata(std::string(format::kLanguageKey));
    impl_->pages =
        format::DecodePages(reader->Database.get_metadata(std::string(format::kPagesKey)));
    if (impl_->version >= format::kSectionBlockVersion) {
      impl_->shareSections =
          format::DecodeCounts(reader->Database.get_metadata(std::string(format::kSharesKey)));
    }
    if (impl_->version >= format::kDefinitionTableVersion) {
      impl_->names =
          TDefinedNames(reader->Database.get_metadata(std::string(format::kDefinitionsKey)),
                        reader->Database.get_lastdocid());
    }
    for (const auto& page : impl_->pages) {
      impl_->pageNames.emplace(Folded(TitleName(page.Title)),
                               static_cast<std::uint64_t>(&page - impl_->pages.data()));
    }
  } catch (const Xapian::Error&) {
    ThrowDamaged();
  }
  reader->Stemmer = ReaderStemmer(impl_->language);
  reader->Stopper = format::MakeStopper(impl_->language);
  impl_->Return(std::move(reader));
}

TSearchIndex::~TSearchIndex() {
  impl_->blocks->Drop(impl_->blockOwner);
  impl_->pool.clear();
  if (impl_->fd >= 0) {
    ::close(impl_->fd);
  }
}

std::unique_ptr<TReader> TSearchIndex::Impl::Open() const {
  const std::lock_guard guard(OpeningLock());
  const int copy = DuplicateAt(fd, databaseOffset);
  try {
    auto reader = std::make_unique<TReader>(TReader{Xapian::Database(copy), {}, nullptr});
    if (!language.empty()) {
      reader->Stemmer = ReaderStemmer(language);
      reader->Stopper = format::MakeStopper(language);
    }
    return reader;
  } catch (const Xapian::DatabaseVersionError&) {
    throw ESearchIndexError(std::string(kNewerIndexMessage));
  } catch (const Xapian::Error&) {
    ThrowDamaged();
  } catch (const std::length_error&) {
    ThrowDamaged();
  } catch (const std::exception&) {
    // Damaged lengths surface from the checker as standard exceptions (length_error, bad_alloc).
    ThrowDamaged();
  }
}

std::unique_ptr<TReader> TSearchIndex::Impl::Lease() const {
  {
    const std::lock_guard guard(poolLock);
    if (!pool.empty()) {
      auto reader = std::move(pool.back());
      pool.pop_back();
      return reader;
    }
  }
  return Open();
}

void TSearchIndex::Impl::Return(std::unique_ptr<TReader> reader) const {
  const std::lock_guard guard(poolLock);
  pool.push_back(std::move(reader));
}

Xapian::Query TSearchIndex::Impl::PlainForms(TReader& reader, std::string_view query,
                                             Xapian::Query::op defaultOp) const {
  const std::string plain = FoldAccents(query);
  Xapian::Query forms = Parse(reader, plain, defaultOp, format::kFoldedPrefix);
  if (plain != query) {
    forms = Xapian::Query(Xapian::Query::OP_OR, forms, Parse(reader, plain, defaultOp));
  }
  if (!AnyIn(reader.Database, forms)) {
    return {};
  }
  return Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, forms, kPlainFormWeight);
}

Xapian::Query TSearchIndex::Impl::Parse(TReader& reader, std::string_view query,
                                        Xapian::Query::op defaultOp,
                                        std::string_view prefix) const {
  return ParseQuery({language, reader.Stemmer, reader.Stopper.get()}, query, defaultOp, prefix);
}

TSearchResults TSearchIndex::Search(std::string_view query, std::size_t start,
                                    std::size_t limit) const {
  const TRanking ranking(impl_->Ranked(query, start, limit));
  TSearchResults results;
  results.Query = std::string(query);
  results.Total = ranking.Total();
  results.TotalExact = ranking.TotalExact();
  results.Hits.reserve(ranking.Size());
  for (std::size_t rank = 0; rank < ranking.Size(); ++rank) {
    results.Hits.push_back(ranking.Hit(rank));
  }
  return results;
}

std::unique_ptr<TRanking> TSearchIndex::Rank(std::string_view query, std::size_t limit) const {
  return std::unique_ptr<TRanking>(new TRanking(impl_->Ranked(query, 0, limit)));
}

std::unique_ptr<TRanking::Impl> TSearchIndex::Impl::Ranked(std::string_view query,
                                                           std::size_t start,
                                                           std::size_t limit) const {
  auto ranking = std::make_unique<TRanking::Impl>(*this, Lease());
  ranking->Guarded([&] { ranking->Start(query, start, limit); });
  return ranking;
}

void TRanking::Impl::Start(std::string_view query, std::size_t start, std::size_t limit) {
  named = index.Named(*reader, query);
  TMatched matched;
  for (const auto op : {Xapian::Query::OP_AND, Xapian::Query::OP_OR}) {
    Xapian::Query parsed = index.Parse(*reader, query, op);
    const Xapian::Query titles = TitleQuery(parsed);
    // Only where the form typed is missing, or every section with an accented name in it
    // would gain on all its words.
    if (const Xapian::Query plain = index.PlainForms(*reader, query, op); !plain.empty()) {
      parsed = Xapian::Query(Xapian::Query::OP_OR, parsed,
                             Xapian::Query(Xapian::Query::OP_AND_NOT, plain, parsed));
    }
    Xapian::Query ranked =
        titles.empty()
            ? parsed
            : Xapian::Query(Xapian::Query::OP_AND_MAYBE, parsed,
                            Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, titles, kTitleBoost));
    if (!named.Lift.empty()) {
      ranked = Xapian::Query(Xapian::Query::OP_AND_MAYBE, ranked, named.Lift);
    }
    if (!named.Query.empty()) {
      enquire->set_query(Xapian::Query(Xapian::Query::OP_OR, ranked, named.Query));
    } else {
      enquire->set_query(ranked);
    }
    matched = Matched(start + limit);
    if (matched.Sections.get_matches_estimated() > 0 || parsed.get_num_subqueries() < 2) {
      break;
    }
  }
  Keep(std::move(matched), start, limit);
}

// Only as many sections as the pages asked need are matched for sure: Xapian then stops once no
// further section can reach them, so the total is an estimate, and a search costs what its hits
// cost rather than what hundreds of sections do. Pages are told apart by the table of sections
// rather than by Xapian's collapsing, which reads every candidate's page value (a fifth of a
// search); most pages shown need no more than a few of their sections matched.
TRanking::Impl::TMatched TRanking::Impl::Matched(std::size_t wanted) const {
  constexpr std::size_t kMostAsked = std::numeric_limits<Xapian::doccount>::max();
  auto asked = static_cast<Xapian::doccount>(
      wanted > kMostAsked / kSectionsAPage ? kMostAsked : wanted * kSectionsAPage);
  for (;;) {
    TMatched matched{enquire->get_mset(0, asked), {}};
    matched.BestOfPages = BestOfPages(matched.Sections);
    if (matched.Sections.size() < asked || matched.BestOfPages.size() >= wanted ||
        asked > std::numeric_limits<Xapian::doccount>::max() / kMoreSections) {
      return matched;
    }
    asked *= kMoreSections;
  }
}

std::vector<Xapian::doccount> TRanking::Impl::BestOfPages(const Xapian::MSet& matches) const {
  const TSectionPages& sectionPages = index.PagesOfSections(*reader);
  std::unordered_set<std::uint64_t> seen;
  std::vector<Xapian::doccount> best;
  Xapian::doccount at = 0;
  for (auto it = matches.begin(); it != matches.end(); ++it, ++at) {
    if (seen.insert(sectionPages.PageOf(*it)).second) {
      best.push_back(at);
    }
  }
  return best;
}

// Every section matched, the pages are counted; else their number is estimated from the share of
// distinct pages among the sections matched.
void TRanking::Impl::Keep(TMatched matched, std::size_t start, std::size_t limit) {
  Xapian::MSet& matches = matched.Sections;
  const std::vector<Xapian::doccount>& best = matched.BestOfPages;
  totalExact = matches.get_matches_lower_bound() == matches.size() &&
               matches.get_matches_upper_bound() == matches.size();
  total = best.size();
  if (!totalExact && !matches.empty()) {
    const double sectionsAPage =
        static_cast<double>(matches.size()) / static_cast<double>(best.size());
    total = std::clamp<std::uint64_t>(
        static_cast<std::uint64_t>(
            std::llround(static_cast<double>(matches.get_matches_estimated()) / sectionsAPage)),
        best.size(), std::max<std::uint64_t>(best.size(), index.pages.size()));
  }
  for (std::size_t shown = start; shown < best.size() && shown < start + limit; ++shown) {
    places.push_back({matchings.size(), best[shown], matches[best[shown]].get_weight()});
  }
  matchings.push_back(std::move(matches));
}

TSearchHit TRanking::Impl::Hit(std::size_t rank) const {
  const TPlace& place = places.at(rank);
  const Xapian::MSet& matches = matchings[place.Matching];
  const Xapian::MSetIterator match = matches[place.At];
  THitSource source;
  const auto record = index.Section(*reader, match, source);
  if (record.Page >= index.pages.size()) {
    ThrowDamaged();
  }
  TSearchHit hit;
  hit.Path = index.pages[record.Page].Path;
  const auto definition = named.Ids.find(*match);
  hit.Anchor = definition != named.Ids.end() ? definition->second : std::string(record.Anchor);
  hit.Title = index.pages[record.Page].Title;
  hit.Snippet =
      matches.snippet(SnippetText(record.Text, kSnippetBytes), kSnippetBytes, reader->Stemmer,
                      Xapian::MSet::SNIPPET_CJK_NGRAM, "<b>", "</b>", "\u2026");
  hit.Score = place.Score;
  return hit;
}

TRanking::TRanking(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TRanking::~TRanking() = default;

std::uint64_t TRanking::Total() const {
  return impl_->total;
}

bool TRanking::TotalExact() const {
  return impl_->totalExact;
}

std::size_t TRanking::Size() const {
  return impl_->places.size();
}

double TRanking::Score(std::size_t rank) const {
  return impl_->places.at(rank).Score;
}

TSearchHit TRanking::Hit(std::size_t rank) const {
  return impl_->Guarded([&] { return impl_->Hit(rank); });
}

TNamedSections TSearchIndex::Impl::Named(TReader& reader, std::string_view query) const {
  const TNamedDefinitions named =
      version >= format::kDefinitionTableVersion ? names.Named(query) : NamedByTerms(reader, query);
  std::map<Xapian::docid, double> weights;
  TNamedSections sections;
  // The page titled with the name typed ("pickle", "re") comes before names that only end so
  // (copyreg.pickle), and opens at its top.
  if (!named.Whole) {
    for (const Xapian::docid section : TitledPages(reader, Folded(DottedName(query)))) {
      sections.Ids.emplace(section, std::string());
      weights.emplace(section, kDefinitionWeight);
    }
  }
  for (const auto& definition :
       weights.empty() ? named.Definitions : std::vector<TNamedDefinition>{}) {
    for (const Xapian::docid section : definition.Sections) {
      const double weight =
          kDefinitionWeight - kPartBeforeWeight * static_cast<double>(definition.PartsBefore);
      if (sections.Ids.emplace(section, definition.Id).second) {
        weights.emplace(section, weight);
      }
    }
  }
  // A name typed is more surely the name than a section's title ("ThreadPoolExecutor").
  for (const Xapian::docid section :
       weights.empty() ? Headed(reader, query) : std::vector<Xapian::docid>()) {
    weights.emplace(section, kDefinitionWeight);
  }
  if (weights.empty()) {
    sections.Lift = WordDefinitions(query);
    return sections;
  }
  sections.Query = SectionsQuery(weights);
  return sections;
}

Xapian::Query TSearchIndex::Impl::WordDefinitions(std::string_view query) const {
  const auto words = QueryWords(query);
  if (words.size() < 2 || version < format::kDefinitionTableVersion) {
    return {};
  }
  std::map<Xapian::docid, double> weights;
  for (const std::string_view word : words) {
    for (const auto& definition : names.Named(word).Definitions) {
      for (const Xapian::docid section :
           IsNamesake(definition.Id) ? definition.Sections : std::vector<Xapian::docid>()) {
        weights.emplace(section, kWordDefinitionWeight);
      }
    }
  }
  return weights.empty() ? Xapian::Query() : SectionsQuery(weights);
}

std::vector<Xapian::docid> TSearchIndex::Impl::Headed(TReader& reader,
                                                      std::string_view query) const {
  // A heading of a word or two is more often one that many pages share ("HOOKS", "Examples",
  // "fetch") than the subject of the page sought.
  if (QueryWords(query).size() < kFewestHeadingWords) {
    return {};
  }
  std::call_once(headingsRead, [&] {
    const std::string stored = reader.Database.get_metadata(std::string(format::kHeadingsKey));
    if (stored.empty()) {
      return;
    }
    auto table = format::DecodeDefinitions(stored);
    for (const auto& [key, documents] : table) {
      if (documents.back() > reader.Database.get_lastdocid()) {
        ThrowDamaged();
      }
    }
    headings = std::move(table);
  });
  const auto found = headings.find(format::HeadingKey(query));
  return found == headings.end() ? std::vector<Xapian::docid>() : found->second;
}

std::vector<Xapian::docid> TSearchIndex::Impl::TitledPages(TReader& reader,
                                                           std::string_view name) const {
  std::vector<Xapian::docid> sections;
  if (name.empty()) {
    return sections;
  }
  const auto [first, last] = pageNames.equal_range(std::string(name));
  for (auto it = first; it != last; ++it) {
    if (const Xapian::docid section = PagesOfSections(reader).FirstOf(it->second); section != 0) {
      sections.push_back(section);
    }
  }
  std::sort(sections.begin(), sections.end());
  return sections;
}

const TSectionPages& TSearchIndex::Impl::PagesOfSections(TReader& reader) const {
  std::call_once(sectionPagesRead,
                 [&] { sectionPages = TSectionPages(reader.Database, pages.size()); });
  return sectionPages;
}

TNamedDefinitions TSearchIndex::Impl::NamedByTerms(TReader& reader, std::string_view query) const {
  const std::string name = DottedName(query);
  for (const std::string& id : {name, Folded(name)}) {
    const std::string term = std::string(format::kIdPrefix) + id;
    if (id.empty() || term.size() > format::kMaxTermBytes) {
      continue;
    }
    TNamedDefinition definition{id, {}};
    for (auto it = reader.Database.postlist_begin(term);
         it != reader.Database.postlist_end(term) &&
         definition.Sections.size() < kMostSectionsNamed;
         ++it) {
      definition.Sections.push_back(*it);
    }
    if (!definition.Sections.empty()) {
      return {{std::move(definition)}, true};
    }
  }
  return {};
}

format::TSectionView TSearchIndex::Impl::Section(TReader& reader, const Xapian::MSetIterator& match,
                                                 THitSource& source) const {
  if (version < format::kSectionBlockVersion) {
    source.Data = match.get_document().get_data();
    return format::DecodeSection(source.Data);
  }
  std::uint64_t share = 0;
  std::uint64_t index = *match - 1;
  while (share < shareSections.size() && index >= shareSections[share]) {
    index -= shareSections[share++];
  }
  if (share == shareSections.size()) {
    ThrowDamaged();
  }
  source.Block = Block(reader, share, index);
  return source.Block->Record(format::SectionSlot(index));
}

TSectionBlockCache::TBlock TSearchIndex::Impl::Block(TReader& reader, std::uint64_t share,
                                                     std::uint64_t index) const {
  const TSectionBlockCache::TKey key{blockOwner, share, format::SectionBlockNumber(index)};
  if (auto block = blocks->Find(key)) {
    return block;
  }
  return blocks->Keep(key,
                      std::make_shared<const format::TSectionBlock>(
                          reader.Database.get_metadata(format::SectionBlockKey(share, index))));
}

std::vector<TSuggestion> TSearchIndex::Suggest(std::string_view typed, std::size_t limit) const {
  std::call_once(impl_->suggesterBuilt, [this] {
    auto reader = impl_->Lease();
    try {
      impl_->suggester =
          TSuggester(SuggestableEntries(impl_->pages, impl_->names, reader->Database),
                     format::MakeStopper(impl_->language));
    } catch (const Xapian::Error&) {
      ThrowDamaged();
    }
    impl_->Return(std::move(reader));
  });
  return impl_->suggester.Suggest(typed, limit);
}

TTermSummary TSearchIndex::Summary() const {
  auto reader = impl_->Lease();
  const bool namesKnown = impl_->version >= format::kDefinitionTableVersion;
  auto summary = AsDamage([&] {
    return SummarizeIndex(reader->Database, impl_->language, impl_->pages,
                          namesKnown ? &impl_->names : nullptr);
  });
  impl_->Return(std::move(reader));
  return summary;
}

std::string TSearchIndex::Language() const {
  return impl_->language;
}

std::size_t TSearchIndex::PageCount() const {
  return impl_->pages.size();
}

std::vector<std::string> TSearchIndex::PagePaths() const {
  std::vector<std::string> paths;
  paths.reserve(impl_->pages.size());
  for (const auto& page : impl_->pages) {
    paths.push_back(page.Path);
  }
  return paths;
}

// A crafted database can crash Xapian's checker itself, so the check runs in a child process
// and only its verdict comes back here. The child reads a description of the file of its own,
// so checks run beside one another and beside indexes being opened; without one it shares this
// process's file position, which opening reads, and holds them off.
void TSearchIndex::Check() const {
  const TCheckSlot slot;
  const TOwnDescription description(impl_->fd);
  const int own = description.Get();
  std::unique_lock guard(OpeningLock(), std::defer_lock);
  if (own < 0) {
    guard.lock();
  }
  const auto verdict = CheckStructure(own >= 0 ? own : impl_->fd, impl_->databaseOffset);
  if (verdict == kStructureNewer) {
    throw ESearchIndexError(std::string(kNewerIndexMessage));
  }
  if (verdict != kStructureSound) {
    ThrowDamaged();
  }
}

}  // namespace tomelet::search
