#include <gtest/gtest.h>

#include "platform/text/PercentEscapes.h"

namespace tomelet {
namespace {

// The handler's loose reading is covered with the document's addresses; these are the strict one.
TEST(PercentDecoded, OnlyWellFormedEscapesAreReadAndPlusFollowsThePolicy) {
  const auto strict = [](std::string_view text, TPlusSign plus) {
    return PercentDecoded(text, plus, TBadEscape::Kept);
  };
  EXPECT_EQ(strict("%2e%2E/%41b", TPlusSign::Itself), "../Ab");
  EXPECT_EQ(strict("a+b%2B", TPlusSign::Itself), "a+b+");
  EXPECT_EQ(strict("a+b%2B", TPlusSign::Space), "a b+");
  EXPECT_EQ(strict("%zz%4%", TPlusSign::Itself), "%zz%4%");
  EXPECT_EQ(strict("%%41%g1", TPlusSign::Itself), "%A%g1");
  EXPECT_EQ(strict("%C3%a9%00", TPlusSign::Itself), std::string("\xC3\xA9\0", 3));
}

TEST(PercentEncoded, EscapesAllButUnreservedAndKeptCharactersInUpperCase) {
  EXPECT_EQ(PercentEncoded("a-b_c.d~e/f g?\xE9", ""), "a-b_c.d~e%2Ff%20g%3F%E9");
  EXPECT_EQ(PercentEncoded("a/b c", "/"), "a/b%20c");
  EXPECT_EQ(PercentEncoded(std::string_view("\0%", 2), "%"), "%00%");
  const std::string all = "x \x7F\x1F+";
  EXPECT_EQ(PercentDecoded(PercentEncoded(all, ""), TPlusSign::Space, TBadEscape::Kept), all);
}

}  // namespace
}  // namespace tomelet
