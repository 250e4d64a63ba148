// Pages and indexes for the search tests: a small manual, built with the library's own builder
// and opened from a scratch file exactly as a document's entry is.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "search/SearchIndex.h"
#include "tests/support/TestDocument.h"

namespace tomelet::search::testing {

using tomelet::testing::TScratchFolder;
using TPages = std::vector<std::pair<std::string, std::string>>;

inline std::string Page(const std::string& title, const std::string& body,
                        const std::string& lang = "en") {
  return "<!DOCTYPE html><html lang=\"" + lang + "\"><head><title>" + title +
         "</title></head><body>" + body + "</body></html>";
}

// A manual whose every page has one clear subject.
inline TPages ManualPages() {
  TPages pages = {
      {"index.html", Page("Manual",
                          "<nav><a href='x'>gardening</a></nav><div class='navheader'><table>"
                          "<tr><td><a href='p'>Prev</a> orchard</td></tr></table></div>"
                          "<h1 id='top'>Welcome</h1>"
                          "<p>This manual covers files, regular expressions and more.</p>"
                          "<script>var kitchen = 1;</script><style>.kitchen{}</style>")},
      {"guide\\files.html", Page("Reading files",
                                 "<h1 id='files'>Reading files</h1><p>Open a file and read its "
                                 "lines one by one.</p><h2 id='writing'>Writing files</h2>"
                                 "<p>Writing appends text to the end.</p>")},
      {"library\\re.html",
       Page("re: regular expressions",
            "<h1>Regular expressions</h1><p>Patterns match text.</p><dl><dt id='re.sub'>"
            "re.sub(pattern, repl, string)</dt><dd>Return the string with every match "
            "replaced.</dd></dl>")},
      {"intl\\ja.html",
       Page("日本語", "<h1>検索について</h1><p>日本語のテキストを検索する方法。</p>")},
      {"intl\\fr.html", Page("Café", "<h1>Le café</h1><p>Un café très serré, à Zürich.</p>")},
  };
  std::string links;
  for (int i = 0; i < 200; ++i) {
    links += "<a href='guide/files.html'>files " + std::to_string(i) + "</a> ";
  }
  pages.emplace_back("genindex.html", Page("Index of files", "<p>" + links + "</p>"));
  for (int i = 0; i < 30; ++i) {
    pages.emplace_back("notes\\note" + std::to_string(100 + i) + ".html",
                       Page("Note " + std::to_string(i), "<h1>Note " + std::to_string(i) +
                                                             "</h1><p>Every note mentions "
                                                             "widgets and note number " +
                                                             std::to_string(i) + ".</p>"));
  }
  return pages;
}

inline std::vector<std::byte> BuildIndex(const TPages& pages, const TIndexSettings& settings) {
  TIndexBuilder builder(settings);
  for (const auto& [path, html] : pages) {
    builder.AddPage(path, html);
  }
  return builder.Finish();
}

inline std::vector<std::byte> BuildIndex(const TPages& pages, const std::string& language = {},
                                         std::size_t threads = 0) {
  return BuildIndex(pages, TIndexSettings{language, pages.size(), threads});
}

// Holds bytes in a scratch file and opens them as an index after a prefix of other bytes, as
// an entry lies inside a document.
class TIndexFile {
 public:
  // pages, when given, are read again for the snippets, as a document's pages are.
  explicit TIndexFile(const std::vector<std::byte>& bytes, TPages pages = {},
                      std::size_t prefix = 37)
      : path_(folder_ / "index"), prefix_(prefix), size_(bytes.size()), pages_(std::move(pages)) {
    std::ofstream out(path_, std::ios::binary);
    out << std::string(prefix, 'P');
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out << "TRAILING BYTES OF THE REST OF THE DOCUMENT";
    out.close();
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  }
  explicit TIndexFile(const TPages& pages, const std::string& language = {})
      : TIndexFile(BuildIndex(pages, language), pages) {}
  ~TIndexFile() { ::close(fd_); }
  TIndexFile(const TIndexFile&) = delete;
  TIndexFile& operator=(const TIndexFile&) = delete;

  std::unique_ptr<TSearchIndex> Open() const {
    return std::make_unique<TSearchIndex>(
        fd_, static_cast<std::int64_t>(prefix_), static_cast<std::int64_t>(size_),
        [pages = pages_](std::string_view path, std::uint64_t start,
                         std::uint64_t size) -> std::optional<std::string> {
          for (const auto& [name, html] : pages) {
            if (name == path) {
              return html.substr(std::min<std::uint64_t>(start, html.size()), size);
            }
          }
          return std::nullopt;
        });
  }

 private:
  TScratchFolder folder_;
  std::filesystem::path path_;
  std::size_t prefix_;
  std::size_t size_;
  TPages pages_;
  int fd_ = -1;
};

inline std::vector<std::string> Paths(const TSearchResults& results) {
  std::vector<std::string> paths;
  for (const auto& hit : results.Hits) {
    paths.push_back(hit.Path + (hit.Anchor.empty() ? "" : "#" + hit.Anchor));
  }
  return paths;
}

// A definition list of one name, as a reference manual writes it.
inline std::string Definition(const std::string& id, const std::string& text) {
  return "<dl><dt id='" + id + "'>" + id + "(x)</dt><dd>" + text + "</dd></dl>";
}

// One index of makePages()'s pages shared by the tests of a suite.
template <TPages (*makePages)()>
class TSharedIndexTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    file_ = new TIndexFile(makePages());
    index_ = file_->Open().release();
  }
  static void TearDownTestSuite() {
    delete index_;
    delete file_;
  }
  // The first hit as "path#anchor", empty when nothing matches.
  static std::string First(std::string_view query) {
    const auto results = index_->Search(query, 0, 5);
    return results.Hits.empty() ? std::string() : Paths(results)[0];
  }

  static inline TIndexFile* file_ = nullptr;
  static inline TSearchIndex* index_ = nullptr;
};

}  // namespace tomelet::search::testing
