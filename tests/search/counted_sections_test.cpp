// A share's counted sections wait for the average length in memory and, beyond a bound, in a
// scratch file: they come back whole and in order, and a file that cannot be written fails the
// build rather than losing sections.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/CountedSections.h"
#include "search/SearchIndex.h"
#include "tests/support/TestDocument.h"

namespace tomelet::search {
namespace {

format::TCountedTerms Section(int number) {
  return {std::string(static_cast<std::size_t>(number * 7 % 23), static_cast<char>('a' + number)),
          static_cast<std::uint64_t>(number)};
}

TEST(CountedSectionsTest, EverySectionComesBackInOrderWhereverItWaited) {
  testing::TScratchFolder folder;
  const auto spill = folder.Path() / "counted";
  for (const std::size_t held : {0, 30, 1000}) {
    TCountedSections sections(spill, held);
    std::uint64_t length = 0;
    for (int number = 1; number <= 25; ++number) {
      sections.Add(Section(number));
      length += number;
    }
    EXPECT_EQ(sections.Length(), length);
    std::vector<format::TCountedTerms> back;
    sections.Drain([&](const format::TCountedTerms& terms) { back.push_back(terms); });
    ASSERT_EQ(back.size(), 25u) << held;
    for (int number = 1; number <= 25; ++number) {
      EXPECT_EQ(back[number - 1].Encoded, Section(number).Encoded) << held;
      EXPECT_EQ(back[number - 1].Length, Section(number).Length) << held;
    }
    EXPECT_FALSE(std::filesystem::exists(spill)) << held;
  }
}

TEST(CountedSectionsTest, AScratchFileThatCannotBeWrittenFailsTheBuild) {
  testing::TScratchFolder folder;
  TCountedSections sections(folder.Path() / "gone" / "counted", 0);
  EXPECT_THROW(sections.Add(Section(3)), ESearchIndexError);
}

}  // namespace
}  // namespace tomelet::search
