// Building the index: one Xapian document per section of a page, its terms counted in shares on
// threads of their own, added once every page is counted (each count is stored weighed against
// the sections' average length), and merged into a single file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "platform/cleanup/Leftovers.h"
#include "platform/files/TemporaryFolder.h"
#include "platform/text/Fnv1a.h"
#include "search/HtmlText.h"
#include "search/IndexFormat.h"
#include "search/IndexShare.h"
#include "search/SearchIndex.h"
#include "search/SectionTerms.h"

namespace tomelet::search {
namespace {

// The count is fixed, whatever the machine, because the pages each share gets decide the bytes.
// One: the other threads read and term its pages ahead of it, so its own thread mostly keeps
// their terms, and no term's postings are split. Each boundary between shares splits the
// postings the merge writes (two made python3.11-doc's index 4% larger, eight 9%).
constexpr std::uint64_t kShares = 1;
// Pages wait for their share up to this many bytes in all: room for the threads reading ahead
// to work far from the page being indexed, as the pages are added faster than they are indexed.
constexpr std::size_t kQueuedBytes = std::size_t{64} << 20;

// Registered as a leftover, so that an interrupted build takes its scratch folder with it.
std::filesystem::path ScratchFolder(std::uint64_t& ticket) {
  std::string pattern = (TemporaryFolderPath() / "tomelet-index-XXXXXX").native();
  TLeftovers leftovers;
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw ESearchIndexError("Cannot create a folder for building the search index");
  }
  ticket = leftovers.Add(pattern, TLeftoverKind::Tree);
  return pattern;
}

std::vector<std::byte> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::byte> bytes(std::filesystem::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in) {
    throw ESearchIndexError("Cannot read the search index just built");
  }
  return bytes;
}

// Xapian gives every database a random identity; the index is made repeatable by deriving it
// from the rest of the bytes instead.
void FixIdentity(std::vector<std::byte>& database) {
  constexpr std::size_t kUuidOffset = 16;
  constexpr std::size_t kUuidSize = 16;
  if (database.size() < kUuidOffset + kUuidSize) {
    return;
  }
  std::uint64_t hash = kFnv1aOffset;
  for (std::size_t i = kUuidOffset + kUuidSize; i < database.size(); ++i) {
    hash = Fnv1aByte(hash, std::to_integer<unsigned char>(database[i]));
  }
  for (std::size_t i = 0; i < kUuidSize; ++i) {
    database[kUuidOffset + i] = static_cast<std::byte>((hash >> (8 * (i % 8))) ^ i);
  }
}

// The counts of every share's sections are weighed against the average length of all of them.
void AddDocuments(const std::vector<std::unique_ptr<TIndexShare>>& shares) {
  std::uint64_t sections = 0;
  std::uint64_t length = 0;
  for (const auto& share : shares) {
    sections += share->SectionCount();
    length += share->SectionsLength();
  }
  const double average =
      sections > 0 ? static_cast<double>(length) / static_cast<double>(sections) : 1.0;
  for (const auto& share : shares) {
    share->AddDocuments(average);
  }
}

// Merged, a share's documents are numbered after those of the shares before it.
void AddSections(format::TDefinitions& table,
                 const std::vector<std::pair<std::string, std::uint64_t>>& keyed,
                 Xapian::docid before) {
  for (const auto& [key, section] : keyed) {
    auto& documents = table[key];
    const Xapian::docid document = before + static_cast<Xapian::docid>(section) + 1;
    if (documents.empty() || documents.back() != document) {
      documents.push_back(document);
    }
  }
}

}  // namespace

struct TIndexBuilder::Impl {
  std::filesystem::path scratch;
  std::uint64_t scratchTicket = 0;
  std::string language;
  std::uint64_t expectedPages = 0;
  TQueuedBytes queued{kQueuedBytes};
  std::vector<std::unique_ptr<TIndexShare>> shares;
  std::uint64_t pageCount = 0;
  std::uint64_t filling = 0;  // the share pages are added to; those before it are closed
  std::atomic<std::uint64_t> nextShare = 0;
  std::vector<std::thread> threads;
  std::optional<std::vector<format::TPageEntry>> pages;  // once every page is indexed
  ~Impl() {
    for (auto& share : shares) {
      share->Drop();
    }
    JoinThreads();
    shares.clear();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    TLeftovers().Forget(scratchTicket);
  }
  std::filesystem::path ShareDatabase(std::uint64_t share) const {
    return scratch / ("share" + std::to_string(share));
  }
  // Each thread takes the next share nobody took, in order; a share is closed once the pages
  // have gone past it, so a thread only ever waits on the share being filled. With no share left
  // to take, a thread reads and terms the pages of the shares still being indexed, which is
  // most of their cost, so that a share's thread does not keep one core busy while others idle.
  void Work() {
    for (std::uint64_t share; (share = nextShare++) < kShares;) {
      shares[share]->IndexQueued();
    }
    TSectionTerms terms(language);
    for (const auto& share : shares) {
      while (share->ReadAhead(terms)) {
      }
    }
  }
  void CloseShares(std::uint64_t end) {
    for (; filling < end && filling < kShares; ++filling) {
      shares[filling]->Close();
    }
  }
  void JoinThreads() {
    for (auto& thread : threads) {
      thread.join();
    }
    threads.clear();
  }
};

TIndexBuilder::TIndexBuilder(const TIndexSettings& settings, TPageReadHandler pageRead)
    : impl_(std::make_unique<Impl>()) {
  impl_->scratch = ScratchFolder(impl_->scratchTicket);
  impl_->language = format::StemmerLanguage(settings.Language);
  impl_->expectedPages = settings.PageCount;
  for (std::uint64_t share = 0; share < kShares; ++share) {
    impl_->shares.push_back(std::make_unique<TIndexShare>(impl_->ShareDatabase(share),
                                                          impl_->language, share, pageRead,
                                                          impl_->queued, settings.HeldTermBytes));
  }
  const std::size_t threads =
      settings.Threads != 0 ? settings.Threads : std::max(1u, std::thread::hardware_concurrency());
  // One thread a share, the others reading its pages ahead.
  for (std::size_t thread = 0; thread < std::max<std::size_t>(threads, kShares); ++thread) {
    impl_->threads.emplace_back([impl = impl_.get()] { impl->Work(); });
  }
}

TIndexBuilder::~TIndexBuilder() = default;

void TIndexBuilder::AddPage(std::string_view archivePath, std::string_view html) {
  const std::uint64_t number = impl_->pageCount++;
  // Shares take consecutive runs of pages, so documents keep the order of their pages and ties
  // in ranking fall as they would in one database.
  const std::uint64_t share = impl_->expectedPages == 0
                                  ? 0
                                  : std::min(number * kShares / impl_->expectedPages, kShares - 1);
  impl_->CloseShares(share);
  impl_->shares[share]->Add(number, std::string(archivePath), std::string(html));
}

void TIndexBuilder::FinishPages() {
  if (impl_->pages) {
    return;
  }
  std::vector<format::TPageEntry> pages(impl_->pageCount);
  impl_->CloseShares(kShares);
  impl_->JoinThreads();
  std::vector<std::vector<TNumberedPage>> shared;
  for (auto& share : impl_->shares) {
    shared.push_back(share->Finish());
  }
  for (const auto& sharePages : shared) {
    for (const auto& page : sharePages) {
      pages.at(page.Number) = page.Entry;
    }
  }
  impl_->pages = std::move(pages);
}

std::vector<std::byte> TIndexBuilder::Finish() {
  FinishPages();
  const std::vector<format::TPageEntry>& pages = *impl_->pages;
  std::vector<std::uint64_t> counts;
  std::vector<std::uint64_t> sectionRuns;
  format::TDefinitions definitions;
  format::TDefinitions headings;
  std::set<std::string> foldedApart;
  AddDocuments(impl_->shares);
  Xapian::docid before = 0;
  for (const auto& share : impl_->shares) {
    foldedApart.insert(share->FoldedApart().begin(), share->FoldedApart().end());
    counts.push_back(share->SectionCount());
    sectionRuns.insert(sectionRuns.end(), share->SectionRuns().begin(), share->SectionRuns().end());
    AddSections(definitions, share->Definitions(), before);
    AddSections(headings, share->Headings(), before);
    before += static_cast<Xapian::docid>(share->SectionCount());
  }
  impl_->shares.front()->Write(
      {{std::string(format::kLanguageKey), impl_->language},
       {std::string(format::kPagesKey), format::EncodePages(pages)},
       {std::string(format::kSharesKey), format::EncodeCounts(counts)},
       {std::string(format::kSectionPagesKey), format::EncodeCounts(sectionRuns)},
       {std::string(format::kDefinitionsKey), format::EncodeDefinitions(definitions)},
       {std::string(format::kHeadingsKey), format::EncodeDefinitions(headings)},
       {std::string(format::kFoldedApartKey),
        format::EncodeStems({foldedApart.begin(), foldedApart.end()})}});
  // Merged in order and numbered afresh, the shares' documents follow one another.
  Xapian::Database all;
  for (std::uint64_t share = 0; share < kShares; ++share) {
    if (share > 0) {
      impl_->shares[share]->Write({});
    }
    all.add_database(Xapian::Database(impl_->ShareDatabase(share).string()));
  }
  const auto single = impl_->scratch / "index";
  // Full compaction packs every block of the tables (the default leaves room for updates).
  all.compact(single.string(), Xapian::DBCOMPACT_SINGLE_FILE | Xapian::Compactor::FULL);
  std::vector<std::byte> database = ReadFileBytes(single);
  FixIdentity(database);
  std::vector<std::byte> result = format::EncodeHeader(database.size());
  result.insert(result.end(), database.begin(), database.end());
  return result;
}

std::string PageLanguage(std::string_view html) {
  return ExtractPageText(html).Language;
}

}  // namespace tomelet::search
