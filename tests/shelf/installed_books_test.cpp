// Installed books on the shelf: found where packages and the reader put them, the reader's own
// first, imported once with their typed keywords, imported again when changed, and gone from the
// shelf's cache once uninstalled.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "shelf/InstalledBooks.h"
#include "shelf/Shelf.h"
#include "tests/support/TestDocument.h"

namespace tomelet::shelf {
namespace {

namespace fs = std::filesystem;
using testing::TScratchFolder;

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A book of two pages whose keyword names a function and a struct.
void WriteBook(const fs::path& folder, const std::string& name, const std::string& title) {
  WriteFile(folder / "index.html", "<html><title>" + title + "</title><p>Start.</p></html>");
  WriteFile(folder / "arrays.html",
            "<html><title>Arrays</title><h1>Arrays</h1><p>Arrays grow as elements are "
            "appended.</p><h2 id='g-array-new'>g_array_new ()</h2></html>");
  WriteFile(folder / (name + ".devhelp2"),
            "<?xml version='1.0'?><book xmlns='http://www.devhelp.net/book' title='" + title +
                "' link='index.html' name='" + name +
                "' version='2' language='c'><chapters><sub name='Arrays' link='arrays.html'/>"
                "</chapters><functions><keyword type='function' name='g_array_new ()' "
                "link='arrays.html#g-array-new'/><keyword type='struct' name='GArray' "
                "link='arrays.html'/></functions></book>");
}

class InstalledBooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", (folder_ / "home").c_str(), 1);
    setenv("XDG_DATA_DIRS", (folder_ / "usr").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    WriteBook(folder_ / "usr" / "gtk-doc" / "html" / "arrays", "arrays", "System Arrays");
    WriteBook(folder_ / "home" / "devhelp" / "books" / "arrays", "arrays", "Own Arrays");
    WriteBook(folder_ / "usr" / "devhelp" / "books" / "lists", "lists", "Lists");
    WriteFile(folder_ / "usr" / "devhelp" / "books" / "empty" / "index.html", "<p>No book.</p>");
  }

  TScratchFolder folder_;
};

TEST_F(InstalledBooksTest, TheReadersOwnBookComesFirstAndShadowsTheSystemsOfTheSameName) {
  EXPECT_EQ(
      InstalledBookFiles(),
      (std::vector<fs::path>{folder_ / "home" / "devhelp" / "books" / "arrays" / "arrays.devhelp2",
                             folder_ / "usr" / "devhelp" / "books" / "lists" / "lists.devhelp2"}));
  EXPECT_EQ(ImportedBooksFolder(), folder_ / "cache" / "tomelet" / "books");
}

TEST_F(InstalledBooksTest, BooksAreImportedOnceWithTheirKindsAndFollowTheirInstallation) {
  const fs::path kept = ImportedBooksFolder();
  TBookImports(InstalledBookFiles(), kept, {}).Wait();
  const fs::path arrays = kept / "arrays.tlt";
  ASSERT_TRUE(fs::exists(arrays));
  ASSERT_TRUE(fs::exists(kept / "lists.tlt"));
  {
    TShelf shelf({}, {}, InstalledBookPlaces());
    auto found = shelf.Search("arrays: g_array_new", 5, 5);
    // The keywords are read off this thread; a later lookup finds them.
    for (int tries = 0; !found.Keywords.Reading.empty() && tries < 500; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      found = shelf.Search("arrays: g_array_new", 5, 5);
    }
    ASSERT_FALSE(found.Keywords.Hits.empty());
    EXPECT_EQ(found.Keywords.Hits[0].Keyword.Type, "function");
    EXPECT_EQ(found.Keywords.Hits[0].Keyword.Anchor, "g-array-new");
    EXPECT_EQ(shelf.Search("appended", 5, 5).Text.Hits.size(), 2u) << "full text of both books";
  }

  // Unchanged books are not imported again; a changed one is, and an uninstalled one goes.
  const auto imported = fs::last_write_time(arrays);
  fs::last_write_time(folder_ / "home" / "devhelp" / "books" / "arrays" / "arrays.devhelp2",
                      imported + std::chrono::seconds(5));
  fs::remove_all(folder_ / "usr" / "devhelp" / "books" / "lists");
  WriteFile(kept / "lists.tlt.note", "not a document of ours to remove");
  TBookImports(InstalledBookFiles(), kept, {}).Wait();
  EXPECT_GT(fs::last_write_time(arrays), imported);
  EXPECT_FALSE(fs::exists(kept / "lists.tlt"));
  EXPECT_TRUE(fs::exists(kept / "lists.tlt.note"));
}

TEST_F(InstalledBooksTest, ABookThatCannotBeImportedIsReportedAndTheOthersAreNot) {
  WriteFile(folder_ / "home" / "devhelp" / "books" / "broken" / "broken.devhelp2", "<book");
  std::vector<std::string> failures;
  TBookImports(InstalledBookFiles(), ImportedBooksFolder(), [&](const std::string& why) {
    failures.push_back(why);
  }).Wait();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("broken.devhelp2"), std::string::npos) << failures[0];
  EXPECT_TRUE(fs::exists(ImportedBooksFolder() / "lists.tlt"));
  EXPECT_FALSE(fs::exists(ImportedBooksFolder() / "broken.tlt"));
}

TEST_F(InstalledBooksTest, TurnedOffTheBooksLeaveTheShelf) {
  TBookImports(InstalledBookFiles(), ImportedBooksFolder(), {}).Wait();
  TShelf shelf({}, folder_ / "shelf.json", InstalledBookPlaces());
  EXPECT_EQ(shelf.Listed().size(), 2u);
  shelf.ChangeSettings([](TShelfSettings& settings) { settings.InstalledBooks = false; });
  EXPECT_TRUE(shelf.Listed().empty());
  EXPECT_FALSE(TShelf({}, folder_ / "shelf.json", InstalledBookPlaces()).Settings().InstalledBooks);
}

}  // namespace
}  // namespace tomelet::shelf
