// The books that packages install for the desktop's documentation browser, each imported once
// into the cache in the background, so that it is a document of the shelf like any other: its
// chapters as contents, its typed keywords, and a full-text index of its pages.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tomelet::shelf {

// The index file of every installed book: in each book's folder below devhelp/books and
// gtk-doc/html of $XDG_DATA_HOME and of each $XDG_DATA_DIRS folder. A book is known by its
// folder's name; where two folders share one, the first in that order is the book, as the
// desktop finds it.
std::vector<std::filesystem::path> InstalledBookFiles();

// $XDG_CACHE_HOME/tomelet/books, where the imported books are kept; empty without a home.
std::filesystem::path ImportedBooksFolder();

// Keeps folder in step with the books: each book without its document there, or changed since it
// was imported, is imported as "<book>.tlt" one after another on a thread of its own, and the
// documents of books no longer installed are removed. What cannot be imported is passed to
// failed, with the book's file and the reason.
class TBookImports {
 public:
  TBookImports(std::vector<std::filesystem::path> books, std::filesystem::path folder,
               std::function<void(const std::string&)> failed);
  // Stops after the page being written; the book it was importing is left out, not half-written.
  ~TBookImports();
  TBookImports(const TBookImports&) = delete;
  TBookImports& operator=(const TBookImports&) = delete;

  // Waits until every book is imported or has failed.
  void Wait();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::shelf
