// The store of the reader's bookmarks: one file per document, replaced whole, and a damaged file
// kept aside under another name instead of being lost to the next save.
#include <gtest/gtest.h>

#include <fstream>

#include "bookmarks/Bookmarks.h"
#include "tests/support/TestDocument.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TScratchFolder;

class BookmarkStoreTest : public ::testing::Test {
 protected:
  std::vector<std::string> FileNames() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder_))
      names.push_back(item.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TScratchFolder scratch_;
  fs::path folder_ = scratch_ / "bookmarks";
  TBookmarkStore store_{folder_};
  const std::vector<TBookmark> bookmarks_ = {{"Start", "tome://inpack/index.htm", 0, 0, 7},
                                             {"Deep", "tome://inpack/d.htm#part", 0, 900, 8}};
};

TEST_F(BookmarkStoreTest, SavedBookmarksLoadAgainAndReplaceTheFileWhole) {
  EXPECT_TRUE(store_.Load("0123abcd").Bookmarks.empty());
  ASSERT_TRUE(store_.Save("0123abcd", bookmarks_));
  EXPECT_EQ(store_.Load("0123abcd").Bookmarks, bookmarks_);
  EXPECT_TRUE(store_.Load("ffff0000").Bookmarks.empty());

  // A reader of the old file still reads all of it: the new one is renamed over it.
  std::ifstream oldReader(store_.FileOf("0123abcd"), std::ios::binary);
  ASSERT_TRUE(store_.Save("0123abcd", std::span(bookmarks_).first(1)));
  std::ostringstream oldText;
  oldText << oldReader.rdbuf();
  EXPECT_EQ(ParseBookmarkFile(oldText.str()), bookmarks_);
  EXPECT_EQ(store_.Load("0123abcd").Bookmarks.size(), 1u);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"0123abcd.html"}));

  // A file that cannot be replaced stays as it was, and no partial file is left beside it.
  fs::create_directories(folder_ / "busy.html" / "inside");
  EXPECT_FALSE(store_.Save("busy", bookmarks_));
  EXPECT_TRUE(fs::is_directory(folder_ / "busy.html" / "inside"));
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"0123abcd.html", "busy.html"}));
}

TEST_F(BookmarkStoreTest, ADamagedFileIsKeptAsideWithItsBytesAndTheReaderStartsEmpty) {
  ASSERT_TRUE(store_.Save("key", bookmarks_));
  const auto whole = ReadFile(store_.FileOf("key"));
  const auto cut = whole.substr(0, whole.size() / 2);
  std::ofstream(store_.FileOf("key"), std::ios::binary) << cut;

  const auto first = store_.Load("key");
  EXPECT_TRUE(first.Bookmarks.empty());
  EXPECT_EQ(first.KeptAside, folder_ / "key.damaged-1.html");
  EXPECT_EQ(ReadFile(first.KeptAside), cut);
  EXPECT_FALSE(fs::exists(store_.FileOf("key")));

  // A second damaged file never replaces the first one kept aside.
  std::ofstream(store_.FileOf("key"), std::ios::binary) << "not bookmarks";
  EXPECT_EQ(store_.Load("key").KeptAside, folder_ / "key.damaged-2.html");
  EXPECT_EQ(ReadFile(folder_ / "key.damaged-1.html"), cut);
  EXPECT_EQ(ReadFile(folder_ / "key.damaged-2.html"), "not bookmarks");
}

}  // namespace
}  // namespace tomelet
