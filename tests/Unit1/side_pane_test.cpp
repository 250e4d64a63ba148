#include <gtest/gtest.h>

#include "Unit1/SidePane.h"

namespace tomelet {
namespace {

TContents Manual() {
  return {{"Start", "index.htm", "", {}},
          {"Library",
           "",
           "",
           {{"json", "lib/json.htm", "", {{"dumps()", "lib/json.htm", "json.dumps", {}}}},
            {"Other page", "lib/a b.htm", "", {}}}},
          {"json again", "lib/json.htm", "", {}}};
}

TEST(SidePaneTest, TheCurrentLineIsTheOneWithTheAnchorThenTheTopOfThePage) {
  const auto contents = Manual();
  using Path = std::vector<std::size_t>;
  EXPECT_EQ(CurrentContentsItem(contents, "tome://inpack/lib/json.htm#json.dumps"),
            (Path{1, 0, 0}));
  EXPECT_EQ(CurrentContentsItem(contents, "tome://inpack/lib/json.htm"), (Path{1, 0}))
      << "the first line to the top of the page, not a later one";
  EXPECT_EQ(CurrentContentsItem(contents, "tome://inpack/lib/json.htm#json.loads"), (Path{1, 0}))
      << "an anchor without a line of its own";
  EXPECT_EQ(CurrentContentsItem(contents, "tome://inpack/lib/a%20b.htm"), (Path{1, 1}));
  EXPECT_EQ(CurrentContentsItem(contents, "tome://inpack/index.htm"), (Path{0}));
  EXPECT_TRUE(CurrentContentsItem(contents, "tome://inpack/gone.htm").empty());
  EXPECT_TRUE(CurrentContentsItem(contents, "tome://search/?q=json").empty())
      << "the results pages are no line of the contents";
  EXPECT_TRUE(CurrentContentsItem({}, "tome://inpack/index.htm").empty());
}

TEST(SidePaneTest, AnItemLeadsToItsPageAndAnchorAsTheCurrentLineReadsThemBack) {
  EXPECT_EQ(MapItemAddress("lib/a b.htm", "sec 1"), "tome://inpack/lib/a%20b.htm#sec%201");
  EXPECT_EQ(MapItemAddress("lib\\json.htm", ""), "tome://inpack/lib/json.htm");
  const TContents contents = {{"Spaced", "lib/a b#c.htm", "sec 1", {}}};
  EXPECT_EQ(CurrentContentsItem(contents, MapItemAddress("lib/a b#c.htm", "sec 1")),
            std::vector<std::size_t>{0});
}

}  // namespace
}  // namespace tomelet
