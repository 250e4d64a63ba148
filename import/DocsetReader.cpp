// A docset is a folder "<Name>.docset" holding Contents/Info.plist (its name and start page,
// XML or binary), Contents/Resources/docSet.dsidx (an SQLite table of typed names) and the pages
// under Contents/Resources/Documents; it also travels as a .tgz of that folder.
#include <plist/plist.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

#include "import/DocumentWriting.h"
#include "import/Readers.h"
#include "platform/text/AsciiCase.h"

namespace tomelet::importer {
namespace {

constexpr std::string_view kInfo = "Contents/Info.plist";
constexpr std::string_view kIndex = "Contents/Resources/docSet.dsidx";
constexpr std::string_view kDocuments = "Contents/Resources/Documents/";

struct TPlistFacts {
  std::string Title;
  std::string StartPage;
};

std::string PlistString(plist_t dict, const char* key) {
  const plist_t item = plist_dict_get_item(dict, key);
  if (item == nullptr || plist_get_node_type(item) != PLIST_STRING)
    return {};
  // Read in place with its length: copying asserts, and so ends the reader, on a string that
  // holds a NUL.
  std::uint64_t length = 0;
  const char* value = plist_get_string_ptr(item, &length);
  return value ? std::string(value, static_cast<std::size_t>(length)) : std::string();
}

TPlistFacts ReadInfo(std::span<const std::byte> bytes) {
  plist_t root = nullptr;
  plist_from_memory(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::uint32_t>(bytes.size()), &root);
  if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
    plist_free(root);
    throw std::runtime_error("Info.plist is not a property list");
  }
  TPlistFacts facts{PlistString(root, "CFBundleName"), PlistString(root, "dashIndexFilePath")};
  plist_free(root);
  return facts;
}

// Paths may carry Dash's own metadata first ("<dash_entry_name=...>library/json.html#x").
std::string IndexedPath(std::string_view path) {
  while (path.starts_with('<') && path.find('>') != std::string_view::npos)
    path.remove_prefix(path.find('>') + 1);
  return std::string(path);
}

using TDatabase = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

// The index's bytes, opened in memory: nothing is written beside a stranger's file.
std::vector<TKeyword> ReadSearchIndex(std::vector<std::byte> bytes) {
  sqlite3* opened = nullptr;
  sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE, nullptr);
  TDatabase database(opened, &sqlite3_close);
  const auto size = static_cast<sqlite3_int64>(bytes.size());
  auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size()));
  if (database == nullptr || copy == nullptr)
    throw std::runtime_error("docSet.dsidx cannot be opened");
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::byte*>(copy));
  if (sqlite3_deserialize(database.get(), "main", copy, size, size,
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY) !=
      SQLITE_OK)
    throw std::runtime_error("docSet.dsidx is not an SQLite database");
  sqlite3_stmt* rows = nullptr;
  if (sqlite3_prepare_v2(database.get(), "SELECT name, type, path FROM searchIndex", -1, &rows,
                         nullptr) != SQLITE_OK)
    throw std::runtime_error("docSet.dsidx has no searchIndex table: " +
                             std::string(sqlite3_errmsg(database.get())));
  std::vector<TKeyword> keywords;
  int status = 0;
  while ((status = sqlite3_step(rows)) == SQLITE_ROW) {
    const auto text = [rows](int column) {
      const auto* value = sqlite3_column_text(rows, column);
      return std::string(value ? reinterpret_cast<const char*>(value) : "");
    };
    const std::string path = IndexedPath(text(2));
    const std::size_t hash = path.find('#');
    keywords.push_back({text(0), path.substr(0, hash),
                        hash == std::string::npos ? "" : path.substr(hash + 1), "",
                        TKeywordKind::Definition, FoldAscii(text(1))});
  }
  sqlite3_finalize(rows);
  if (status != SQLITE_DONE)
    throw std::runtime_error("docSet.dsidx is damaged: " +
                             std::string(sqlite3_errmsg(database.get())));
  return keywords;
}

// The files of a docset by their path below the .docset folder.
class TDocsetFiles {
 public:
  virtual ~TDocsetFiles() = default;
  virtual std::vector<std::string> Names() const = 0;
  virtual std::vector<std::byte> Bytes(std::string_view name) const = 0;
  virtual void ForEachDocument(
      const std::function<void(std::string_view, std::span<const std::byte>)>& visit) const = 0;
};

void ReadDocset(const TDocsetFiles& files, ISourceSink& sink) {
  const auto names = files.Names();
  const auto has = [&names](std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  if (!has(kIndex))
    throw std::runtime_error("the docset has no " + std::string(kIndex));
  const TPlistFacts facts = has(kInfo) ? ReadInfo(files.Bytes(kInfo)) : TPlistFacts{};
  std::vector<std::string> pages;
  for (const std::string& name : names) {
    if (name.starts_with(kDocuments))
      pages.push_back(name.substr(kDocuments.size()));
  }
  std::vector<TKeyword> keywords = ReadSearchIndex(files.Bytes(kIndex));
  const std::string start = facts.StartPage.empty() ? GuessStartPage(pages) : facts.StartPage;
  sink.Begin({start, facts.Title, "", CountHtmlPages(pages)});
  files.ForEachDocument(
      [&sink](std::string_view name, std::span<const std::byte> bytes) { sink.Page(name, bytes); });
  for (const char* icon : {"icon.png", "icon@2x.png"}) {
    if (has(icon)) {
      sink.Logo(files.Bytes(icon));
      break;
    }
  }
  sink.Map({}, std::move(keywords));
}

class TDocsetFolder final : public TDocsetFiles {
 public:
  explicit TDocsetFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}
  std::vector<std::string> Names() const override { return FilesBelow(folder_); }
  std::vector<std::byte> Bytes(std::string_view name) const override {
    return ReadFileBytes(folder_ / name);
  }
  void ForEachDocument(const std::function<void(std::string_view, std::span<const std::byte>)>&
                           visit) const override {
    const auto documents = folder_ / kDocuments;
    for (const std::string& name : FilesBelow(documents))
      visit(name, ReadFileBytes(documents / name));
  }

 private:
  std::filesystem::path folder_;
};

// A packed docset: "<Name>.docset/" before every name. Small files are kept from the pass that
// lists the names; the pages are read again in a second pass as they are given on.
class TPackedDocset final : public TDocsetFiles {
 public:
  TPackedDocset(std::filesystem::path source, std::string top)
      : source_(std::move(source)), top_(std::move(top)) {
    ForEachPackedFile(source_, [this](std::string_view name, std::span<const std::byte> bytes) {
      if (!name.starts_with(top_))
        return;
      const std::string inner = InsideName(name.substr(top_.size()));
      names_.push_back(inner);
      if (!inner.starts_with(kDocuments))
        kept_[inner].assign(bytes.begin(), bytes.end());
    });
  }
  std::vector<std::string> Names() const override { return names_; }
  std::vector<std::byte> Bytes(std::string_view name) const override {
    return kept_.at(std::string(name));
  }
  void ForEachDocument(const std::function<void(std::string_view, std::span<const std::byte>)>&
                           visit) const override {
    const std::string documents = top_ + std::string(kDocuments);
    ForEachPackedFile(source_, [&](std::string_view name, std::span<const std::byte> bytes) {
      if (name.starts_with(documents))
        visit(InsideName(name.substr(documents.size())), bytes);
    });
  }

 private:
  std::filesystem::path source_;
  std::string top_;
  std::vector<std::string> names_;
  std::map<std::string, std::vector<std::byte>> kept_;
};

}  // namespace

void ReadDocsetFolder(const std::filesystem::path& docset, ISourceSink& sink) {
  ReadDocset(TDocsetFolder(docset), sink);
}

// The folder of a packed docset ("Python.docset/"), empty when the archive holds none.
std::string PackedDocsetTop(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const std::size_t at = name.find(".docset/" + std::string(kIndex));
    if (at != std::string::npos)
      return name.substr(0, at + 8);
  }
  return {};
}

void ReadPackedDocset(const std::filesystem::path& source, const std::string& top,
                      ISourceSink& sink) {
  ReadDocset(TPackedDocset(source, top), sink);
}

}  // namespace tomelet::importer
