#include <string>

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
#include "library/OpenDocuments.h"
#include "library/TermSummaries.h"
#include "search/DocumentIndex.h"
#include "search/HtmlText.h"
#include "search/SearchIndex.h"

namespace tomelet::library {
namespace {

// The start page is only read for its title and language, so a huge one is left unread.
constexpr std::int64_t kLargestStartPageRead = std::int64_t{4} << 20;

std::size_t CountPages(const TDocument& archive) {
  std::size_t pages = 0;
  for (int i = 0; i < archive.EntryCount(); ++i) {
    pages += search::IsHtmlPageName(archive.Entry(i).FileName) ? 1 : 0;
  }
  return pages;
}

TDocumentFacts ReadFacts(const TDocument& archive, const std::filesystem::path& path) {
  TDocumentFacts facts;
  const TProjectOptions& options = archive.Options();
  facts.Title = path.stem().string();
  if (!options.AccessPassword().empty()) {
    // Nothing of a protected document is told without its password, its title included.
    facts.Protected = true;
    return facts;
  }
  facts.Pages = CountPages(archive);
  facts.HasLogo = archive.IndexOf(kLogoEntry) >= 0;
  const TFoundEntry start = archive.Find(archive.StartPagePath());
  if (start.Found() && archive.Entry(start.Index).Size <= kLargestStartPageRead) {
    const auto bytes = archive.Contents(start.Index);
    const auto text = search::ExtractPageText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!text.Title.empty()) {
      facts.Title = text.Title;
    }
    facts.Language = text.Language;
  }
  return facts;
}

// What is made or found again is held only while the document is open with the same archive:
// one closed meanwhile would otherwise hold it beyond the library's limit.
template <typename T>
void KeepWhileOpen(TKept<T>& kept, const std::shared_ptr<T>& value,
                   const TKept<const TDocument>& archives,
                   const std::shared_ptr<const TDocument>& archive) {
  if (archives.Held() == archive) {
    kept.Hold(value);
  } else {
    kept.Remember(value);
  }
}

}  // namespace

TLibraryDocument::TLibraryDocument(std::string name, std::filesystem::path path,
                                   TFileIdentity stamp, std::shared_ptr<TOpenDocuments> open)
    : name_(std::move(name)), path_(std::move(path)), stamp_(stamp), open_(std::move(open)) {}

// First, so the library's account never reaches a document half torn down.
TLibraryDocument::~TLibraryDocument() {
  if (open_) {
    open_->Forget(*this);
  }
}

void TLibraryDocument::Used() const {
  if (open_) {
    open_->Used(*this);
  }
}

// Weak, so that an index never keeps the account alive: the account's own thread may not be the
// one to end it.
std::function<void()> TLibraryDocument::Settled() const {
  if (!open_) {
    return {};
  }
  return [open = std::weak_ptr<TOpenDocuments>(open_)] {
    if (const auto account = open.lock()) {
      account->Settled();
    }
  };
}

std::shared_ptr<const TDocument> TLibraryDocument::Archive() const {
  std::shared_ptr<const TDocument> archive;
  {
    const std::lock_guard guard(lock_);
    archive = archive_.Find();
    if (!archive) {
      auto opened = OpenDocument(path_);
      // Read once: the document stands for its file as stamped, and reading it again on every
      // opening inflated its registry each time a large library's search came back to it.
      if (!startPagePath_) {
        startPagePath_ = opened->StartPagePath();
      }
      archive = std::move(opened);
    }
    archive_.Hold(archive);
  }
  Used();
  return archive;
}

std::string TLibraryDocument::StartPagePath() const {
  Archive();
  const std::lock_guard guard(lock_);
  return startPagePath_.value_or(std::string());
}

TDocumentFacts TLibraryDocument::Facts() const {
  {
    const std::lock_guard guard(lock_);
    if (facts_) {
      return *facts_;
    }
  }
  // Opened as any request opens it, so that the pages asked for next do not open it again.
  TDocumentFacts facts;
  try {
    facts = ReadFacts(*Archive(), path_);
  } catch (const std::exception& e) {
    facts.Title = path_.stem().string();
    facts.Error = e.what();
  }
  const std::lock_guard guard(lock_);
  facts_ = std::make_shared<TDocumentFacts>(facts);
  return facts;
}

std::shared_ptr<search::TBackgroundIndex> TLibraryDocument::Index() const {
  auto archive = Archive();
  const std::lock_guard guard(lock_);
  auto index = index_.Find();
  if (!index) {
    index = std::make_shared<search::TBackgroundIndex>(archive, *startPagePath_, Settled());
  }
  KeepWhileOpen(index_, index, archive_, archive);
  return index;
}

std::shared_ptr<const TDocumentCompanion> TLibraryDocument::Companion(
    const TMakeCompanion& make) const {
  auto index = Index();
  const auto archive = Archive();
  {
    const std::lock_guard guard(lock_);
    if (auto found = companion_.Find()) {
      KeepWhileOpen(companion_, found, archive_, archive);
      return found;
    }
  }
  auto made = make(archive, std::move(index));
  const std::lock_guard guard(lock_);
  if (auto found = companion_.Find()) {
    return found;
  }
  KeepWhileOpen(companion_, made, archive_, archive);
  return made;
}

bool TLibraryDocument::IsOpen() const {
  const std::lock_guard guard(lock_);
  return archive_.Held() != nullptr;
}

std::shared_ptr<const search::TTermSummary> TLibraryDocument::Summary() const {
  const std::lock_guard guard(lock_);
  if (!summary_ && !summaryLooked_) {
    summaryLooked_ = true;
    summary_ = ReadStoredSummary(stamp_);
  }
  return summary_;
}

void TLibraryDocument::KeepSummary(std::shared_ptr<const search::TTermSummary> summary) const {
  {
    const std::lock_guard guard(lock_);
    if (summary_ || !summary) {
      return;
    }
    summary_ = summary;
  }
  StoreSummary(stamp_, std::move(summary));
}

bool TLibraryDocument::Close(THeld& held) const {
  const std::lock_guard guard(lock_);
  if (index_.Held() && index_.Held()->Working()) {
    return false;
  }
  held = {archive_.LetGo(), index_.LetGo(), companion_.LetGo()};
  return true;
}

}  // namespace tomelet::library
