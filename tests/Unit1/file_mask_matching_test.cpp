#include <gtest/gtest.h>

#include <string>

#include "Unit1/FileMasks.h"

namespace tomelet {
namespace {

struct MatchCase {
  const char* Mask;
  const char* Text;
  bool Expected;
};

class MaskMatches : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MaskMatches, AgreesWithTheRules) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(TFileMask(c.Mask).Matches(c.Text), c.Expected) << c.Mask << " on " << c.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MaskMatches,
    ::testing::Values(
        // the whole text, with runs and single characters
        MatchCase{"abc", "abcd", false}, MatchCase{"", "", true}, MatchCase{"", "a", false},
        MatchCase{"*.exe", "tome://inpack/setup/tool.exe", true},
        MatchCase{"*.exe", "tome://inpack/tool.exe?x=1", false},
        MatchCase{"a*b*c", "aXXcYYb", false}, MatchCase{"*aab", "aaab", true},
        MatchCase{"a?c", "ac", false},
        // a '?' right after '*' is dropped, the next one is not
        MatchCase{"*?", "", true}, MatchCase{"*??", "", false}, MatchCase{"*??", "x", true},
        // sets, ranges and their inversion
        MatchCase{"file[0-9].pdf", "file7.pdf", true}, MatchCase{"[!a-c]", "b", false},
        MatchCase{"[!a-c]", "", false}, MatchCase{"[a-]", "-", true},
        MatchCase{"[z-a]", "m", false}, MatchCase{"[*?]", "a", false},
        // letters fold to upper case on both sides, nothing else does
        MatchCase{"*.EXE", "tool.exe", true}, MatchCase{"[A-C]", "b", true},
        MatchCase{"[Z-a]", "_", true}, MatchCase{"[Z-a]", "b", false}, MatchCase{"@", "`", false},
        MatchCase{"\xC3\xA9", "\xC3\x89", false},
        // a UTF-8 sequence is one character; a stray byte is one too
        MatchCase{"?.pdf", "\xE2\x82\xAC.pdf", true}, MatchCase{"??", "\xC3\xA9", false},
        MatchCase{"[\xC3\xA0-\xC3\xBF]", "\xC3\xA9", true}, MatchCase{"??", "\xC3\x28", true},
        MatchCase{"?", "\xED\xA0\x80", false}));

struct InvalidCase {
  const char* Mask;
  int Position;
};

class InvalidMask : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidMask, NamesTheMaskAndTheFaultPosition) {
  const InvalidCase& c = GetParam();
  try {
    TFileMask mask(c.Mask);
    FAIL() << "built the invalid mask " << c.Mask;
  } catch (const EMaskException& error) {
    EXPECT_EQ(std::string(error.what()), "'" + std::string(c.Mask) + "' is an invalid mask at (" +
                                             std::to_string(c.Position) + ")");
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, InvalidMask,
                         ::testing::Values(InvalidCase{"*.ht[m", 5}, InvalidCase{"[a-", 1},
                                           InvalidCase{"[]", 2}, InvalidCase{"x[!]", 4},
                                           InvalidCase{"[!-z]", 3}, InvalidCase{"[a-c-e]", 5},
                                           InvalidCase{"\xC3\xA9[-z]", 3}));

std::string Wildcards(int count, const std::string& tail) {
  std::string mask;
  for (int i = 0; i < count; ++i)
    mask += "*a";
  return mask + tail;
}

TEST(MaskWildcards, ThirtyAreAllowedAndTheThirtyFirstFailsWhereItStands) {
  EXPECT_TRUE(TFileMask(Wildcards(29, "*")).Matches(std::string(29, 'a')));
  try {
    TFileMask mask(Wildcards(30, "*"));
    FAIL();
  } catch (const EMaskException& error) {
    EXPECT_NE(std::string(error.what()).find("at (62)"), std::string::npos) << error.what();
  }
}

TEST(MaskWildcards, ManyRunsDoNotBacktrackWithoutEnd) {
  const TFileMask mask(Wildcards(30, "b"));
  EXPECT_FALSE(mask.Matches(std::string(5000, 'a')));
  EXPECT_TRUE(mask.Matches(std::string(5000, 'a') + "b"));
}

}  // namespace
}  // namespace tomelet
