// Reading the index: a small pool of readers, each with its own database on a duplicated
// descriptor and its own stemmer, so that queries on several threads never share a Xapian object
// (their handles count references without atomics).
#include "search/SearchIndex.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "search/RememberingStemmer.h"
#include "search/SearchIndexParts.h"
#include "search/SoundIndexes.h"
#include "search/TermSummary.h"

namespace tomelet::search {
namespace {

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

}  // namespace

void KeepSectionBlocks(std::size_t bytes) {
  SharedSectionBlocks()->Bound(bytes);
  SharedSectionLeads()->Bound(bytes / 4);
}

std::mutex& OpeningLock() {
  static std::mutex lock;
  return lock;
}

TSearchIndex::TSearchIndex(int fd, std::int64_t offset, std::int64_t length, TPageSource pages)
    : impl_(std::make_unique<Impl>()) {
  impl_->pageSource = std::move(pages);
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
  impl_->bytes = static_cast<std::uint64_t>(length);
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
  reader->Stopper = format::SharedStopper(impl_->language);
  impl_->Return(std::move(reader));
}

TSearchIndex::~TSearchIndex() {
  impl_->blocks->Drop(impl_->cacheOwner);
  impl_->leads->Drop(impl_->cacheOwner);
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
      reader->Stopper = format::SharedStopper(language);
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

std::vector<TSuggestion> TSearchIndex::Suggest(std::string_view typed, std::size_t limit) const {
  std::call_once(impl_->suggesterBuilt, [this] {
    auto reader = impl_->Lease();
    try {
      impl_->suggester = TSuggester(
          SuggestableEntries(impl_->pages, impl_->names, impl_->PagesOfSections(*reader)),
          format::SharedStopper(impl_->language));
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
    return SummarizeIndex(reader->Database, impl_->version, impl_->language, impl_->pages,
                          namesKnown ? &impl_->names : nullptr);
  });
  impl_->Return(std::move(reader));
  return summary;
}

std::string TSearchIndex::Language() const {
  return impl_->language;
}

std::uint64_t TSearchIndex::Bytes() const {
  return impl_->bytes;
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

std::vector<std::uint64_t> TSearchIndex::LeadEnds() const {
  std::vector<std::uint64_t> ends(impl_->pages.size());
  if (impl_->version < format::kLeadRangeVersion) {
    return ends;
  }
  auto reader = impl_->Lease();
  try {
    for (std::uint64_t share = 0; share < impl_->shareSections.size(); ++share) {
      for (std::uint64_t first = 0; first < impl_->shareSections[share];
           first += format::kSectionsPerBlock) {
        const format::TSectionBlock block(
            reader->Database.get_metadata(format::SectionBlockKey(share, first)), impl_->version);
        const std::uint64_t last =
            std::min(impl_->shareSections[share], first + format::kSectionsPerBlock);
        for (std::uint64_t section = first; section < last; ++section) {
          const auto record = block.Record(format::SectionSlot(section));
          if (record.Page >= ends.size() ||
              record.LeadSize > std::numeric_limits<std::uint64_t>::max() - record.LeadStart) {
            ThrowDamaged();
          }
          ends[record.Page] = std::max(ends[record.Page], record.LeadStart + record.LeadSize);
        }
      }
    }
  } catch (const Xapian::Error&) {
    ThrowDamaged();
  }
  impl_->Return(std::move(reader));
  return ends;
}

}  // namespace tomelet::search
