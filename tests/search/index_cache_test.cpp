// The cache of indexes built on demand: using an index marks it, and what was not used for a
// month, or does not fit the folder's size, goes, least recently used first.
#include <gtest/gtest.h>

#include <fstream>

#include "search/IndexCache.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::hours;

class IndexCacheTest : public ::testing::Test {
 protected:
  fs::path Add(const std::string& name, std::size_t size, std::chrono::minutes sinceUse) {
    const auto path = folder_ / name;
    std::ofstream(path, std::ios::binary) << std::string(size, 'i');
    fs::last_write_time(path, fs::file_time_type::clock::now() - sinceUse);
    return path;
  }

  std::vector<std::string> Left() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder_.Path())) {
      names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TScratchFolder folder_;
};

TEST_F(IndexCacheTest, IdleIndexesGoThenTheLeastRecentlyUsedBeyondTheSize) {
  const auto kept = Add("kept.index", 100, hours(24 * 50));
  Add("a.index", 100, hours(24));
  Add("b.index", 100, hours(48));
  Add("c.index", 4, hours(72));
  Add("idle.index", 10, hours(24 * 31));
  Add("recent.index", 1, hours(1));
  Add("x.index.Ab12Cd", 100, hours(48));  // left by a build that was interrupted
  Add("y.index.Ef34Gh", 100, hours(1));   // a build under way in another process
  Add("notes.txt", 100, hours(24 * 400));
  PruneIndexCache(folder_.Path(), kept, {hours(24 * 30), 205});
  // kept (100) + recent (1) + a (100) fill 201 bytes: b would pass 205; c still fits after it.
  EXPECT_EQ(Left(), (std::vector<std::string>{"a.index", "c.index", "kept.index", "notes.txt",
                                              "recent.index", "y.index.Ef34Gh"}));

  PruneIndexCache(folder_ / "absent", folder_ / "absent" / "x.index");  // nothing to prune
}

TEST_F(IndexCacheTest, MarkingAnIndexUsedRefreshesItsTimeAndNothingElse) {
  const auto index = Add("used.index", 10, hours(24 * 29));
  MarkIndexUsed(index);
  EXPECT_LT(fs::file_time_type::clock::now() - fs::last_write_time(index), hours(1));
  EXPECT_EQ(fs::file_size(index), 10u);
  PruneIndexCache(folder_.Path(), {});
  EXPECT_TRUE(fs::exists(index));

  // One marked within the hour stays the file it was, so its check is still remembered.
  const auto recent = Add("recent.index", 10, std::chrono::minutes(30));
  const auto marked = fs::last_write_time(recent);
  MarkIndexUsed(recent);
  EXPECT_EQ(fs::last_write_time(recent), marked);
}

}  // namespace
}  // namespace tomelet::search::testing
