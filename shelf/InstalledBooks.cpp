#include "shelf/InstalledBooks.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "import/DevhelpBook.h"
#include "import/Import.h"
#include "platform/files/UserFolders.h"

namespace tomelet::shelf {
namespace {

namespace fs = std::filesystem;

const char* const kBookFolders[] = {"devhelp/books", "gtk-doc/html"};

// The book's index file in its folder: the one named after the folder when there is one.
fs::path IndexFileIn(const fs::path& folder) {
  fs::path found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::path& file = it->path();
    if (!importer::IsDevhelpBookName(file) || !it->is_regular_file(error))
      continue;
    if (found.empty() || file.filename().string().starts_with(folder.filename().string() + "."))
      found = file;
  }
  return found;
}

std::string BookName(const fs::path& indexFile) {
  return indexFile.parent_path().filename().string();
}

// The books of one folder in name order, passing over names taken already.
void AddBooksBelow(const fs::path& shelf, std::set<std::string>& names,
                   std::vector<fs::path>& books) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator it(shelf, error), end; !error && it != end; it.increment(error)) {
    if (!names.contains(it->path().filename().string()) && it->is_directory(error))
      found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  for (const auto& folder : found) {
    if (fs::path file = IndexFileIn(folder); !file.empty()) {
      names.insert(BookName(file));
      books.push_back(std::move(file));
    }
  }
}

// Imported and not changed since: the document is newer than the book's index file.
bool IsCurrent(const fs::path& indexFile, const fs::path& document) {
  std::error_code error;
  const auto imported = fs::last_write_time(document, error);
  return !error && fs::last_write_time(indexFile, error) <= imported && !error;
}

}  // namespace

std::vector<fs::path> InstalledBookFiles() {
  std::vector<fs::path> roots;
  if (const fs::path own = UserFolder(TUserFolder::Data); !own.empty())
    roots.push_back(own);
  for (auto& system : SystemDataFolders())
    roots.push_back(std::move(system));
  std::set<std::string> names;
  std::vector<fs::path> books;
  for (const auto& root : roots) {
    for (const char* folder : kBookFolders)
      AddBooksBelow(root / folder, names, books);
  }
  return books;
}

fs::path ImportedBooksFolder() {
  const fs::path cache = UserFolder(TUserFolder::Cache);
  return cache.empty() ? cache : cache / "tomelet" / "books";
}

struct TBookImports::Impl {
  std::vector<fs::path> books;
  fs::path folder;
  std::function<void(const std::string&)> failed;
  std::atomic<bool> stopping = false;
  std::jthread worker;

  // Thrown from the importer's progress to end an import early; it then leaves no output.
  struct TStopped {};

  void RemoveBooksGone() const {
    std::set<std::string> kept;
    for (const auto& book : books)
      kept.insert(BookName(book) + ".tlt");
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (it->path().extension() == ".tlt" && !kept.contains(it->path().filename().string()))
        fs::remove(it->path(), error);
    }
  }

  void Import(const fs::path& book) {
    const fs::path document = folder / (BookName(book) + ".tlt");
    if (IsCurrent(book, document))
      return;
    importer::TImportSettings settings;
    settings.Progress = [this](std::size_t, std::size_t) {
      if (stopping)
        throw TStopped{};
    };
    try {
      importer::ImportDocument(book, document.string(), settings);
    } catch (const TStopped&) {
    } catch (const std::exception& e) {
      if (failed)
        failed(book.string() + ": " + e.what());
    }
  }

  void Run() {
    std::error_code error;
    fs::create_directories(folder, error);
    RemoveBooksGone();
    for (const auto& book : books) {
      if (stopping)
        return;
      Import(book);
    }
  }
};

TBookImports::TBookImports(std::vector<fs::path> books, fs::path folder,
                           std::function<void(const std::string&)> failed)
    : impl_(std::make_unique<Impl>()) {
  impl_->books = std::move(books);
  impl_->folder = std::move(folder);
  impl_->failed = std::move(failed);
  impl_->worker = std::jthread([impl = impl_.get()] { impl->Run(); });
}

TBookImports::~TBookImports() {
  impl_->stopping = true;
}

void TBookImports::Wait() {
  if (impl_->worker.joinable())
    impl_->worker.join();
}

}  // namespace tomelet::shelf
