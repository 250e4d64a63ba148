#include <string>

#include "ZLIBArchive2/EntryChecks.h"
#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
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
  const TFoundEntry start = archive.Find(archive.StartPage());
  if (start.Found() && ContentSize(archive.Entry(start.Index)) <= kLargestStartPageRead) {
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

TLibraryDocument::TLibraryDocument(std::string name, std::filesystem::path path, TFileStamp stamp)
    : name_(std::move(name)), path_(std::move(path)), stamp_(stamp) {}

TLibraryDocument::~TLibraryDocument() = default;

std::shared_ptr<const TDocument> TLibraryDocument::Archive() const {
  const std::lock_guard guard(lock_);
  if (!archive_) {
    auto opened = OpenDocument(path_);
    startPage_ = opened->StartPage();
    archive_ = std::move(opened);
  }
  return archive_;
}

std::string TLibraryDocument::StartPage() const {
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
  std::shared_ptr<const TDocument> archive;
  {
    const std::lock_guard guard(lock_);
    archive = archive_;
  }
  TDocumentFacts facts;
  try {
    if (!archive) {
      archive = OpenDocument(path_);
    }
    facts = ReadFacts(*archive, path_);
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
  if (!index_) {
    index_ = std::make_shared<search::TBackgroundIndex>(std::move(archive), startPage_);
  }
  return index_;
}

bool TLibraryDocument::IsOpen() const {
  const std::lock_guard guard(lock_);
  return archive_ != nullptr;
}

}  // namespace tomelet::library
