// The reader's shelf without its window: its folders and settings, one search across documents
// in two languages with keywords first, what the reader switched off, and files that come and go.
#include "shelf/Shelf.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "search/SearchIndex.h"
#include "tests/support/TestDocument.h"

namespace tomelet::shelf {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TScratchFolder;

// A document of pages in one language, with its search index; each page is {title, body}.
void WriteDocument(const fs::path& path, const std::string& language,
                   const std::vector<std::pair<std::string, std::string>>& pages) {
  search::TIndexBuilder index({language, pages.size()});
  TZLBArchiveWriter writer;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::string name = i == 0 ? "index.html" : "page" + std::to_string(i) + ".html";
    const std::string html = "<!DOCTYPE html><html lang=\"" + language + "\"><head><title>" +
                             pages[i].first + "</title></head><body><h1>" + pages[i].first +
                             "</h1>" + pages[i].second + "</body></html>";
    index.AddPage(name, html);
    writer.AddEntry(name, html);
  }
  writer.AddEntry(kIndexEntry, index.Finish(), fcNone);
  fs::create_directories(path.parent_path());
  writer.WriteFile(path.string());
}

template <class Condition>
bool WaitUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  return condition();
}

class ShelfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    WriteDocument(
        folder_ / "docs" / "english.tlt", "en",
        {{"Reading Guide", "<p>Reading files line by line.</p>"},
         {"Reference", "<dl><dt id=\"open_file\">open_file()</dt><dd>Opens a file.</dd></dl>"}});
    WriteDocument(folder_ / "docs" / "deutsch.tlt", "de",
                  {{"Anleitung", "<p>Die Häuser stehen am Fluss.</p>"},
                   {"Verweise", "<dl><dt id=\"open_file\">open_file()</dt><dd>Öffnet.</dd></dl>"}});
  }

  // Searches until the keywords of every document have been read.
  TShelfResults SearchRead(const TShelf& shelf, const std::string& typed) {
    TShelfResults results;
    EXPECT_TRUE(WaitUntil([&] {
      results = shelf.Search(typed, 10, 10);
      return results.Keywords.Reading.empty();
    }));
    return results;
  }

  TScratchFolder folder_;
};

std::vector<std::string> HitDocuments(const TShelfResults& results) {
  std::vector<std::string> documents;
  for (const auto& hit : results.Text.Hits)
    documents.push_back(hit.Document);
  return documents;
}

TEST_F(ShelfTest, SettingsSurviveARunAndADamagedFileIsSetAside) {
  const fs::path file = folder_ / "config" / "shelf.json";
  TShelfSettings settings;
  settings.AddedFolders = {"/srv/docs"};
  settings.DocumentsOff = {"/srv/docs/old.tlt"};
  settings.Groups["work"] = {"/srv/docs/pg.tlt", "/srv/docs/python.tlt"};
  settings.GroupsOff = {"work"};
  settings.Tabs = {{"", ""}, {"/srv/docs/pg.tlt", "tome://inpack/sql.html#x"}};
  settings.CurrentTab = 1;
  ASSERT_TRUE(WriteShelfSettings(file, settings));
  EXPECT_EQ(ReadShelfSettings(file), settings);
  EXPECT_FALSE(settings.IsSearched("/srv/docs/python.tlt")) << "its group is off";
  EXPECT_TRUE(settings.IsSearched("/srv/docs/new.tlt"));

  std::ofstream(file) << "{\"version\": 1, \"folders\": 3}";
  EXPECT_EQ(ReadShelfSettings(file), TShelfSettings());
  EXPECT_TRUE(fs::exists(file.string() + ".damaged"));
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(ShelfTest, OneSearchAcrossLanguagesWithKeywordsFirstAndWhatIsSwitchedOffLeftOut) {
  TShelf shelf({folder_ / "docs"}, folder_ / "shelf.json");
  ASSERT_EQ(shelf.Listed().size(), 2u);
  EXPECT_TRUE(fs::is_directory(folder_ / "data" / "tomelet" / "documents"))
      << "the reader's own folder is made, to be watched";

  // Each document stems in its own language: "reading" and "Häuser".
  EXPECT_EQ(HitDocuments(shelf.Search("read", 10, 10)), std::vector<std::string>{"english"});
  EXPECT_EQ(HitDocuments(shelf.Search("haus", 10, 10)), std::vector<std::string>{"deutsch"});

  const auto named = SearchRead(shelf, "open_file");
  ASSERT_EQ(named.Keywords.Hits.size(), 2u);
  EXPECT_EQ(named.Keywords.Hits[0].Keyword.Anchor, "open_file");
  EXPECT_EQ(named.Keywords.Hits[0].Keyword.Kind, TKeywordKind::Definition);

  const std::string german = (folder_ / "docs" / "deutsch.tlt").string();
  shelf.ChangeSettings([&](TShelfSettings& settings) { settings.DocumentsOff.insert(german); });
  EXPECT_TRUE(shelf.Search("haus", 10, 10).Text.Hits.empty());
  EXPECT_EQ(SearchRead(shelf, "open_file").Keywords.Hits.size(), 1u);
  EXPECT_EQ(HitDocuments(shelf.Search("deutsch: haus", 10, 10)),
            std::vector<std::string>{"deutsch"})
      << "a scope names a document switched off";

  EXPECT_EQ(TShelf({folder_ / "docs"}, folder_ / "shelf.json").Settings().DocumentsOff,
            std::set<std::string>{german})
      << "kept for the next run";
}

TEST_F(ShelfTest, FilesCopiedIntoAndRemovedFromAShelfFolderComeAndGo) {
  auto folders = StandardShelfFolders();
  folders.push_back(folder_ / "docs");
  TShelf shelf(folders, {});
  std::atomic<int> changes = 0;
  shelf.Watch([&] { ++changes; });
  const fs::path own = folder_ / "data" / "tomelet" / "documents";
  fs::copy_file(folder_ / "docs" / "english.tlt", own / "copy.tlt");
  EXPECT_TRUE(WaitUntil([&] { return shelf.Listed().size() == 3; }));
  // The listing changes before the watcher is told.
  EXPECT_TRUE(WaitUntil([&] { return changes.load() > 0; }));
  EXPECT_EQ(HitDocuments(shelf.Search("copy: read", 10, 10)), std::vector<std::string>{"copy"});

  fs::remove(folder_ / "docs" / "deutsch.tlt");
  EXPECT_TRUE(WaitUntil([&] { return shelf.Listed().size() == 2; }));
}

TEST_F(ShelfTest, AnAddedFolderIsShownAndRemembered) {
  WriteDocument(folder_ / "more" / "extra.tlt", "en", {{"Extra", "<p>More words.</p>"}});
  TShelf shelf({folder_ / "docs"}, folder_ / "shelf.json");
  shelf.AddFolder(folder_ / "more");
  EXPECT_EQ(shelf.Listed().size(), 3u);
  EXPECT_THROW(shelf.AddFolder(folder_ / "missing"), std::runtime_error);
  EXPECT_EQ(TShelf({}, folder_ / "shelf.json").Listed().size(), 1u);
}

}  // namespace
}  // namespace tomelet::shelf
