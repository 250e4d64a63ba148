#include "shelf/Shelf.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "library/Catalogue.h"
#include "library/Workers.h"
#include "platform/files/UserFolders.h"
#include "shelf/InstalledBooks.h"

namespace tomelet::shelf {
namespace {

namespace fs = std::filesystem;

const fs::path kDocumentsFolder = fs::path("tomelet") / "documents";

// Each folder once, by the folder it really is, in the order first named.
std::vector<fs::path> DistinctFolders(const std::vector<fs::path>& folders) {
  std::vector<fs::path> distinct;
  std::vector<fs::path> seen;
  for (const auto& folder : folders) {
    std::error_code error;
    if (!fs::is_directory(folder, error))
      continue;
    const fs::path real = fs::canonical(folder, error);
    if (error || std::find(seen.begin(), seen.end(), real) != seen.end())
      continue;
    seen.push_back(real);
    distinct.push_back(folder);
  }
  return distinct;
}

fs::path ExistingFolder(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error))
    throw std::runtime_error(folder.string() + ": no such folder");
  return fs::absolute(folder);
}

std::vector<std::byte> LogoOf(const library::TLibraryDocument& document) {
  try {
    const auto archive = document.Archive();
    const int logo = archive->IndexOf(kLogoEntry);
    return logo < 0 ? std::vector<std::byte>() : archive->Contents(logo);
  } catch (const std::exception&) {
    return {};
  }
}

std::vector<std::string> GroupsOf(const TShelfSettings& settings, const std::string& file) {
  std::vector<std::string> groups;
  for (const auto& [name, documents] : settings.Groups) {
    if (documents.contains(file))
      groups.push_back(name);
  }
  return groups;
}

}  // namespace

std::vector<fs::path> StandardShelfFolders() {
  std::vector<fs::path> folders;
  if (const fs::path own = UserFolder(TUserFolder::Data); !own.empty())
    folders.push_back(own / kDocumentsFolder);
  for (const auto& system : SystemDataFolders())
    folders.push_back(system / kDocumentsFolder);
  return folders;
}

TBookPlaces InstalledBookPlaces() {
  return {InstalledBookFiles(), ImportedBooksFolder()};
}

struct TShelf::Impl {
  std::vector<fs::path> given;
  TBookPlaces books;
  std::unique_ptr<TBookImports> imports;
  // Where a full-text search spreads its documents, one thread for each processor.
  std::shared_ptr<library::TWorkers> workers = std::make_shared<library::TWorkers>();
  fs::path settingsFile;
  mutable std::mutex lock;
  TShelfSettings settings;
  std::shared_ptr<library::TLibrary> library;
  std::vector<fs::path> shown;
  std::function<void()> onChange;
  std::unique_ptr<TShelfKeywords> keywords;

  std::shared_ptr<library::TLibrary> Library() const {
    const std::lock_guard guard(lock);
    return library;
  }

  bool ShowsBooks() const { return settings.InstalledBooks && !books.Folder.empty(); }

  // Imports the books while they are shown; called locked.
  void KeepBooks() {
    if (!ShowsBooks()) {
      imports.reset();
    } else if (!imports) {
      std::error_code ignored;
      fs::create_directories(books.Folder, ignored);
      imports =
          std::make_unique<TBookImports>(books.Books, books.Folder, [](const std::string& why) {
            std::fprintf(stderr, "tomelet-viewer: %s\n", why.c_str());
          });
    }
  }

  // A new library over the folders given and added, and the books' folder; called locked.
  void Rebuild() {
    KeepBooks();
    std::vector<fs::path> folders = given;
    folders.insert(folders.end(), settings.AddedFolders.begin(), settings.AddedFolders.end());
    if (ShowsBooks())
      folders.push_back(books.Folder);
    shown = DistinctFolders(folders);
    library = std::make_shared<library::TLibrary>(
        shown, library::TLibraryOptions{.Recursive = true, .Workers = workers});
    if (onChange)
      library->Watch(onChange);
  }

  void Notify() const {
    std::function<void()> notify;
    {
      const std::lock_guard guard(lock);
      notify = onChange;
    }
    if (notify)
      notify();
  }

  TShelfDocument Listed(const library::TLibraryDocument& document) const {
    return {document.Name(),
            document.Path(),
            {},
            document.Stamp().Size,
            settings.IsSearched(document.Path().string()),
            GroupsOf(settings, document.Path().string()),
            {}};
  }
};

TShelf::TShelf(std::vector<fs::path> folders, fs::path settingsFile, TBookPlaces books)
    : impl_(std::make_unique<Impl>()) {
  if (const fs::path own = UserFolder(TUserFolder::Data); !own.empty()) {
    std::error_code ignored;
    fs::create_directories(own / kDocumentsFolder, ignored);
  }
  impl_->given = std::move(folders);
  impl_->books = std::move(books);
  impl_->settingsFile = std::move(settingsFile);
  if (!impl_->settingsFile.empty())
    impl_->settings = ReadShelfSettings(impl_->settingsFile);
  impl_->keywords = std::make_unique<TShelfKeywords>([impl = impl_.get()] { impl->Notify(); });
  const std::lock_guard guard(impl_->lock);
  impl_->Rebuild();
}

TShelf::~TShelf() {
  impl_->imports.reset();
  impl_->keywords.reset();
}

std::vector<fs::path> TShelf::Folders() const {
  const std::lock_guard guard(impl_->lock);
  return impl_->shown;
}

std::vector<TShelfDocument> TShelf::Listed() const {
  const auto documents = impl_->Library()->Documents();
  const std::lock_guard guard(impl_->lock);
  std::vector<TShelfDocument> listed;
  for (const auto& document : *documents)
    listed.push_back(impl_->Listed(*document));
  return listed;
}

std::vector<TShelfDocument> TShelf::Documents() const {
  const auto documents = impl_->Library()->Documents();
  const auto entries = library::CatalogueEntries(*documents);
  std::vector<std::vector<std::byte>> logos;
  for (std::size_t i = 0; i < documents->size(); ++i)
    logos.push_back(entries[i].Facts.HasLogo ? LogoOf(*(*documents)[i]) : std::vector<std::byte>());
  const std::lock_guard guard(impl_->lock);
  std::vector<TShelfDocument> listed;
  for (std::size_t i = 0; i < documents->size(); ++i) {
    listed.push_back(impl_->Listed(*(*documents)[i]));
    listed.back().Facts = entries[i].Facts;
    listed.back().Logo = std::move(logos[i]);
  }
  return listed;
}

fs::path TShelf::FileOf(std::string_view name) const {
  const auto document = impl_->Library()->Find(name);
  return document ? document->Path() : fs::path();
}

std::shared_ptr<library::TLibraryDocument> TShelf::Find(const fs::path& file) const {
  const auto documents = impl_->Library()->Documents();
  for (const auto& document : *documents) {
    if (document->Path() == file)
      return document;
  }
  return nullptr;
}

TShelfSettings TShelf::Settings() const {
  const std::lock_guard guard(impl_->lock);
  return impl_->settings;
}

void TShelf::ChangeSettings(const std::function<void(TShelfSettings&)>& change) {
  {
    const std::lock_guard guard(impl_->lock);
    const bool books = impl_->settings.InstalledBooks;
    change(impl_->settings);
    if (!impl_->settingsFile.empty())
      WriteShelfSettings(impl_->settingsFile, impl_->settings);
    if (books == impl_->settings.InstalledBooks)
      return;
    impl_->Rebuild();
  }
  impl_->Notify();
}

void TShelf::AddFolder(const fs::path& folder) {
  const fs::path absolute = ExistingFolder(folder);
  {
    const std::lock_guard guard(impl_->lock);
    auto& added = impl_->settings.AddedFolders;
    if (std::find(added.begin(), added.end(), absolute) == added.end())
      added.push_back(absolute);
    if (!impl_->settingsFile.empty())
      WriteShelfSettings(impl_->settingsFile, impl_->settings);
    impl_->Rebuild();
  }
  impl_->Notify();
}

void TShelf::ShowFolder(const fs::path& folder) {
  const fs::path absolute = ExistingFolder(folder);
  {
    const std::lock_guard guard(impl_->lock);
    impl_->given.push_back(absolute);
    impl_->Rebuild();
  }
  impl_->Notify();
}

void TShelf::Watch(std::function<void()> onChange) {
  const std::lock_guard guard(impl_->lock);
  impl_->onChange = std::move(onChange);
  impl_->library->Watch(impl_->onChange);
}

// What a search looks into: the documents its scope names, else those switched on.
struct TShelf::TScoped {
  std::shared_ptr<library::TLibrary> Library;
  library::TDocumentList Documents;
  std::string Text;
};

TShelf::TScoped TShelf::Scoped(std::string_view typed) const {
  TScoped scoped{impl_->Library(), {}, {}};
  const auto documents = scoped.Library->Documents();
  auto query = library::ReadLibraryQuery(typed, {}, *documents);
  const TShelfSettings settings = Settings();
  for (const auto& document : *documents) {
    const bool named = std::find(query.Documents.begin(), query.Documents.end(),
                                 document->Name()) != query.Documents.end();
    if (query.Documents.empty() ? settings.IsSearched(document->Path().string()) : named)
      scoped.Documents.push_back(document);
  }
  scoped.Text = std::move(query.Text);
  return scoped;
}

TKeywordResults TShelf::Keywords(std::string_view typed, std::size_t limit) const {
  const TScoped scoped = Scoped(typed);
  return impl_->keywords->Lookup(scoped.Documents, scoped.Text, limit);
}

TShelfResults TShelf::Search(std::string_view typed, std::size_t keywordLimit,
                             std::size_t hitLimit) const {
  const TScoped scoped = Scoped(typed);
  TShelfResults results;
  results.Query = scoped.Text;
  results.Keywords = impl_->keywords->Lookup(scoped.Documents, scoped.Text, keywordLimit);
  results.Text = library::SearchLibrary(
      scoped.Documents, {scoped.Text, {}}, 0, hitLimit,
      [](const library::TLibraryDocument& document) { return !document.Facts().Protected; },
      scoped.Library->OpenLimit(), impl_->workers.get());
  return results;
}

}  // namespace tomelet::shelf
