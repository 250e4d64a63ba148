#include <string>

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
#include "library/OpenDocuments.h"
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
    if (!held_.Archive) {
      held_.Archive = lastArchive_.lock();
    }
    if (!held_.Archive) {
      auto opened = OpenDocument(path_);
      startPage_ = opened->StartPagePath();
      held_.Archive = std::move(opened);
      lastArchive_ = held_.Archive;
    }
    archive = held_.Archive;
  }
  Used();
  return archive;
}

std::string TLibraryDocument::StartPagePath() const {
  Archive();
  const std::lock_guard guard(lock_);
  return startPage_;
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

// What is made or found again goes to the document only while it is open with the same archive:
// one closed meanwhile would otherwise hold it beyond the library's limit.
std::shared_ptr<search::TBackgroundIndex> TLibraryDocument::Index() const {
  auto archive = Archive();
  const std::lock_guard guard(lock_);
  auto index = held_.Index ? held_.Index : lastIndex_.lock();
  if (!index) {
    index = std::make_shared<search::TBackgroundIndex>(archive, startPage_, Settled());
    lastIndex_ = index;
  }
  if (held_.Archive == archive) {
    held_.Index = index;
  }
  return index;
}

std::shared_ptr<const TDocumentCompanion> TLibraryDocument::Companion(
    const TMakeCompanion& make) const {
  auto index = Index();
  const auto archive = Archive();
  {
    const std::lock_guard guard(lock_);
    auto found = held_.Companion ? held_.Companion : lastCompanion_.lock();
    if (found) {
      if (held_.Archive == archive) {
        held_.Companion = found;
      }
      return found;
    }
  }
  auto made = make(archive, std::move(index));
  const std::lock_guard guard(lock_);
  if (held_.Archive != archive) {
    return made;
  }
  if (!held_.Companion) {
    held_.Companion = std::move(made);
    lastCompanion_ = held_.Companion;
  }
  return held_.Companion;
}

bool TLibraryDocument::IsOpen() const {
  const std::lock_guard guard(lock_);
  return held_.Archive != nullptr;
}

bool TLibraryDocument::Close(THeld& held) const {
  const std::lock_guard guard(lock_);
  if (held_.Index && held_.Index->Working()) {
    return false;
  }
  held = std::move(held_);
  held_ = {};
  return true;
}

}  // namespace tomelet::library
