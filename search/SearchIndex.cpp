// Reading the index: a small pool of readers, each with its own database on a duplicated
// descriptor and its own stemmer, so that queries on several threads never share a Xapian object
// (their handles count references without atomics).
#include "search/SearchIndex.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>

#include "search/ChildProcess.h"
#include "search/DefinitionSource.h"
#include "search/IndexFormat.h"
#include "search/Snippet.h"

namespace tomelet::search {
namespace {

constexpr std::size_t kSnippetBytes = 200;
// Above the weight of any words, so the sections defining a typed name come first.
constexpr double kDefinitionWeight = 250.0;
constexpr double kTitleBoost = 2.0;
constexpr Xapian::doccount kCheckAtLeast = 200;
constexpr std::size_t kIdMatchesRead = 50;

[[noreturn]] void ThrowDamaged() {
  throw ESearchIndexError(std::string(kDamagedIndexMessage));
}

// Duplicated descriptors share one file position, which Xapian reads while opening.
std::mutex& OpeningLock() {
  static std::mutex lock;
  return lock;
}

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

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return {};
  }
  return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// "re.sub", "re.sub()" and "dict" name a definition: the id the page gives it.
std::vector<std::string> IdCandidates(std::string_view query) {
  std::string name = Trimmed(query);
  if (name.empty() || name.find(' ') != std::string::npos) {
    return {};
  }
  if (name.ends_with("()")) {
    name.resize(name.size() - 2);
  }
  std::vector<std::string> names{name};
  if (Folded(name) != name) {
    names.push_back(Folded(name));
  }
  return names;
}

bool WordStartsWith(std::string_view title, std::string_view prefix) {
  for (std::size_t pos = 0; pos < title.size();) {
    if (title.substr(pos).starts_with(prefix)) {
      return true;
    }
    const auto space = title.find_first_of(" .-_(/", pos);
    if (space == std::string_view::npos) {
      return false;
    }
    pos = space + 1;
  }
  return false;
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

}  // namespace

struct TReader {
  Xapian::Database Database;
  Xapian::Stem Stemmer;
  std::unique_ptr<Xapian::Stopper> Stopper;
};

struct TSearchIndex::Impl {
  int fd = -1;
  std::uint32_t version = 0;
  std::int64_t databaseOffset = 0;
  std::string language;
  std::vector<format::TPageEntry> pages;
  std::vector<std::uint64_t> shareSections;
  format::TDefinitions definitions;
  std::vector<std::string> foldedTitles;
  mutable std::mutex poolLock;
  mutable std::vector<std::unique_ptr<TReader>> pool;

  std::unique_ptr<TReader> Open() const;
  std::unique_ptr<TReader> Lease() const;
  void Return(std::unique_ptr<TReader> reader) const;
  // The sections defining name, at most kIdMatchesRead of them.
  std::vector<Xapian::docid> Defining(TReader& reader, const std::string& name) const;
  Xapian::Query Parse(TReader& reader, std::string_view query, Xapian::Query::op defaultOp) const;
  format::TSectionRecord Section(
      TReader& reader, const Xapian::MSetIterator& match,
      std::map<std::string, std::vector<format::TSectionRecord>>& blocks) const;
  TSearchResults Run(TReader& reader, std::string_view query, std::size_t start, std::size_t limit,
                     bool withSnippets) const;
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
    Load();
  } catch (...) {
    ::close(impl_->fd);
    impl_->fd = -1;
    throw;
  }
}

void TSearchIndex::Load() {
  // Xapian trusts the structure of its trees while searching; a crafted index could make it
  // read freed memory, so the whole structure is checked once before the first query.
  Check();
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
      impl_->definitions = format::DecodeDefinitions(
          reader->Database.get_metadata(std::string(format::kDefinitionsKey)));
      // Xapian is never asked for a document the database does not have.
      for (const auto& [id, documents] : impl_->definitions) {
        if (documents.back() > reader->Database.get_lastdocid()) {
          ThrowDamaged();
        }
      }
    }
  } catch (const Xapian::Error&) {
    ThrowDamaged();
  }
  reader->Stemmer = format::MakeStemmer(impl_->language);
  reader->Stopper = format::MakeStopper(impl_->language);
  for (const auto& page : impl_->pages) {
    impl_->foldedTitles.push_back(Folded(page.Title));
  }
  impl_->Return(std::move(reader));
}

TSearchIndex::~TSearchIndex() {
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
      reader->Stemmer = format::MakeStemmer(language);
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

Xapian::Query TSearchIndex::Impl::Parse(TReader& reader, std::string_view query,
                                        Xapian::Query::op defaultOp) const {
  Xapian::QueryParser parser;
  parser.set_database(reader.Database);
  parser.set_stemmer(reader.Stemmer);
  parser.set_stemming_strategy(Xapian::QueryParser::STEM_ALL_Z);
  if (reader.Stopper) {
    parser.set_stopper(reader.Stopper.get());
  }
  parser.set_default_op(defaultOp);
  const std::string text(query);
  try {
    return parser.parse_query(
        text, Xapian::QueryParser::FLAG_BOOLEAN | Xapian::QueryParser::FLAG_LOVEHATE |
                  Xapian::QueryParser::FLAG_PHRASE | Xapian::QueryParser::FLAG_CJK_NGRAM);
  } catch (const Xapian::QueryParserError&) {
    return parser.parse_query(text, Xapian::QueryParser::FLAG_CJK_NGRAM);
  }
}

TSearchResults TSearchIndex::Search(std::string_view query, std::size_t start, std::size_t limit,
                                    bool withSnippets) const {
  auto reader = impl_->Lease();
  try {
    auto results = impl_->Run(*reader, query, start, limit, withSnippets);
    impl_->Return(std::move(reader));
    return results;
  } catch (const Xapian::Error&) {
    ThrowDamaged();
  } catch (const std::length_error&) {
    ThrowDamaged();
  } catch (const std::bad_alloc&) {
    ThrowDamaged();
  }
}

TSearchResults TSearchIndex::Impl::Run(TReader& reader, std::string_view query, std::size_t start,
                                       std::size_t limit, bool withSnippets) const {
  Xapian::Database& database = reader.Database;
  TSearchResults results;
  results.Query = std::string(query);
  std::set<Xapian::docid> defining;
  std::string definedName;
  Xapian::Query idQuery;
  for (const auto& name : IdCandidates(query)) {
    auto documents = Defining(reader, name);
    if (!documents.empty()) {
      defining.insert(documents.begin(), documents.end());
      definedName = name;
      idQuery = Xapian::Query(
          (new TDefinitionSource(std::move(documents), kDefinitionWeight))->release());
      break;
    }
  }
  Xapian::Enquire enquire(database);
  enquire.set_collapse_key(format::kPageSlot);
  Xapian::MSet matches;
  for (const auto op : {Xapian::Query::OP_AND, Xapian::Query::OP_OR}) {
    Xapian::Query parsed = Parse(reader, query, op);
    const Xapian::Query titles = TitleQuery(parsed);
    const Xapian::Query ranked =
        titles.empty()
            ? parsed
            : Xapian::Query(Xapian::Query::OP_AND_MAYBE, parsed,
                            Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, titles, kTitleBoost));
    if (!idQuery.empty()) {
      enquire.set_query(Xapian::Query(Xapian::Query::OP_OR, ranked, idQuery));
    } else {
      enquire.set_query(ranked);
    }
    matches =
        enquire.get_mset(static_cast<Xapian::doccount>(start), static_cast<Xapian::doccount>(limit),
                         kCheckAtLeast + static_cast<Xapian::doccount>(start + limit));
    if (matches.get_matches_estimated() > 0 || parsed.get_num_subqueries() < 2) {
      break;
    }
  }
  results.Total = matches.get_matches_estimated();
  results.TotalExact = matches.get_matches_lower_bound() == matches.get_matches_upper_bound();
  std::map<std::string, std::vector<format::TSectionRecord>> blocks;
  for (auto it = matches.begin(); it != matches.end(); ++it) {
    const auto record = Section(reader, it, blocks);
    if (record.Page >= pages.size()) {
      ThrowDamaged();
    }
    TSearchHit hit;
    hit.Path = pages[record.Page].Path;
    hit.Anchor = defining.contains(*it) ? definedName : record.Anchor;
    hit.Title = pages[record.Page].Title;
    if (withSnippets) {
      hit.Snippet =
          matches.snippet(SnippetText(record.Text, kSnippetBytes), kSnippetBytes, reader.Stemmer,
                          Xapian::MSet::SNIPPET_CJK_NGRAM, "<b>", "</b>", "\u2026");
    }
    hit.Score = it.get_weight();
    results.Hits.push_back(std::move(hit));
  }
  return results;
}

std::vector<Xapian::docid> TSearchIndex::Impl::Defining(TReader& reader,
                                                        const std::string& name) const {
  std::vector<Xapian::docid> documents;
  if (version >= format::kDefinitionTableVersion) {
    const auto found = definitions.find(name);
    if (found != definitions.end()) {
      const auto& all = found->second;
      documents.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(all.size(), kIdMatchesRead)));
    }
    return documents;
  }
  const std::string term = std::string(format::kIdPrefix) + name;
  if (term.size() > format::kMaxTermBytes) {
    return documents;
  }
  for (auto it = reader.Database.postlist_begin(term);
       it != reader.Database.postlist_end(term) && documents.size() < kIdMatchesRead; ++it) {
    documents.push_back(*it);
  }
  return documents;
}

format::TSectionRecord TSearchIndex::Impl::Section(
    TReader& reader, const Xapian::MSetIterator& match,
    std::map<std::string, std::vector<format::TSectionRecord>>& blocks) const {
  if (version < format::kSectionBlockVersion) {
    return format::DecodeSection(match.get_document().get_data());
  }
  std::uint64_t share = 0;
  std::uint64_t index = *match - 1;
  while (share < shareSections.size() && index >= shareSections[share]) {
    index -= shareSections[share++];
  }
  if (share == shareSections.size()) {
    ThrowDamaged();
  }
  const std::string key = format::SectionBlockKey(share, index);
  auto block = blocks.find(key);
  if (block == blocks.end()) {
    block =
        blocks.emplace(key, format::DecodeSectionBlock(reader.Database.get_metadata(key))).first;
  }
  const std::size_t slot = format::SectionSlot(index);
  if (slot >= block->second.size()) {
    ThrowDamaged();
  }
  return block->second[slot];
}

std::vector<TSuggestion> TSearchIndex::Suggest(std::string_view prefix, std::size_t limit) const {
  const std::string folded = Folded(Trimmed(prefix));
  if (folded.empty() || limit == 0) {
    return {};
  }
  struct Candidate {
    int rank;
    std::size_t length;
    std::size_t index;
    auto operator<=>(const Candidate&) const = default;
  };
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < impl_->foldedTitles.size(); ++i) {
    const std::string& title = impl_->foldedTitles[i];
    // Generated lists of links come after every real page.
    const int later = impl_->pages[i].Generated ? 2 : 0;
    if (title.starts_with(folded)) {
      candidates.push_back({later, title.size(), i});
    } else if (WordStartsWith(title, folded)) {
      candidates.push_back({later + 1, title.size(), i});
    }
  }
  const std::size_t count = std::min(limit, candidates.size());
  std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(count),
                    candidates.end());
  std::vector<TSuggestion> suggestions;
  for (std::size_t i = 0; i < count; ++i) {
    const auto& page = impl_->pages[candidates[i].index];
    suggestions.push_back({page.Path, page.Title});
  }
  return suggestions;
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
// and only its verdict comes back here.
void TSearchIndex::Check() const {
  enum TVerdict : int { kSound, kDamaged, kNewer };
  const std::lock_guard guard(OpeningLock());
  const int verdict = RunInChildProcess(
      [this]() -> int {
        try {
          // Xapian takes the descriptor over and closes it.
          return Xapian::Database::check(DuplicateAt(impl_->fd, impl_->databaseOffset), 0) == 0
                     ? kSound
                     : kDamaged;
        } catch (const Xapian::DatabaseVersionError&) {
          return kNewer;
        } catch (...) {
          // Damaged lengths surface from the checker as standard exceptions too.
          return kDamaged;
        }
      },
      kDamaged);
  if (verdict == kNewer) {
    throw ESearchIndexError(std::string(kNewerIndexMessage));
  }
  if (verdict != kSound) {
    ThrowDamaged();
  }
}

}  // namespace tomelet::search
