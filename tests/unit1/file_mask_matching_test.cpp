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

std::ostream& operator<<(std::ostream& out, const MatchCase& c) {
  return out << "'" << c.Mask << "' on '" << c.Text << "'";
}

class MaskMatches : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MaskMatches, AgreesWithTheRules) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(TFileMask(c.Mask).Matches(c.Text), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(WholeText, MaskMatches,
                         ::testing::Values(MatchCase{"abc", "abc", true},
                                           MatchCase{"abc", "abcd", false},
                                           MatchCase{"abc", "xabc", false}, MatchCase{"", "", true},
                                           MatchCase{"", "a", false}, MatchCase{"a", "", false}));

INSTANTIATE_TEST_SUITE_P(
    Wildcards, MaskMatches,
    ::testing::Values(MatchCase{"*", "", true}, MatchCase{"*", "anything at all", true},
                      MatchCase{"*.exe", "tome://inpack/setup/tool.exe", true},
                      MatchCase{"*.exe", "tome://inpack/setup/tool.exe.htm", false},
                      MatchCase{"*.exe", "tome://inpack/tool.exe?x=1", false},
                      MatchCase{"a*b*c", "abc", true}, MatchCase{"a*b*c", "aXXbYYc", true},
                      MatchCase{"a*b*c", "aXXcYYb", false}, MatchCase{"*ab", "aab", true},
                      MatchCase{"*aab", "aaab", true}, MatchCase{"a**b", "ab", true},
                      MatchCase{"?", "a", true}, MatchCase{"?", "", false},
                      MatchCase{"?", "ab", false}, MatchCase{"a?c", "abc", true},
                      MatchCase{"a?c", "ac", false}, MatchCase{"??", "ab", true}));

// A '?' right after '*' is dropped, so "*?" also matches the empty text.
INSTANTIATE_TEST_SUITE_P(QuestionAfterStarIsDropped, MaskMatches,
                         ::testing::Values(MatchCase{"*?", "", true}, MatchCase{"a*?", "a", true},
                                           MatchCase{"*?b", "b", true}, MatchCase{"*??", "", false},
                                           MatchCase{"*??", "x", true}));

INSTANTIATE_TEST_SUITE_P(
    Sets, MaskMatches,
    ::testing::Values(MatchCase{"[abc]", "b", true}, MatchCase{"[abc]", "d", false},
                      MatchCase{"[a-c]x", "bx", true}, MatchCase{"[a-c]x", "dx", false},
                      MatchCase{"[!a-c]", "d", true}, MatchCase{"[!a-c]", "b", false},
                      MatchCase{"[!a-c]", "", false}, MatchCase{"file[0-9].pdf", "file7.pdf", true},
                      MatchCase{"file[0-9].pdf", "file77.pdf", false}, MatchCase{"[a-]", "-", true},
                      MatchCase{"[a-]", "a", true}, MatchCase{"[z-a]", "m", false},
                      MatchCase{"*[!x]", "abx", false}, MatchCase{"*[!x]", "abc", true},
                      MatchCase{"[*?]", "*", true}, MatchCase{"[*?]", "a", false}));

INSTANTIATE_TEST_SUITE_P(
    AsciiLettersIgnoreCase, MaskMatches,
    ::testing::Values(MatchCase{"*.EXE", "tool.exe", true}, MatchCase{"*.exe", "TOOL.EXE", true},
                      MatchCase{"[a-c]", "B", true}, MatchCase{"[A-C]", "b", true},
                      MatchCase{"[!a-c]", "B", false}, MatchCase{"[^]", "^", true},
                      MatchCase{"[Z-a]", "_", true}, MatchCase{"[Z-a]", "b", false},
                      MatchCase{"@", "`", false}));

INSTANTIATE_TEST_SUITE_P(
    Utf8CharactersCountAsOne, MaskMatches,
    ::testing::Values(MatchCase{"?", "\xC3\xA9", true}, MatchCase{"??", "\xC3\xA9", false},
                      MatchCase{"?.pdf", "\xE2\x82\xAC.pdf", true},
                      MatchCase{"?", "\xF0\x9F\x98\x80", true},
                      MatchCase{"\xC3\xA9", "\xC3\x89", false},
                      MatchCase{"[\xC3\xA0-\xC3\xBF]", "\xC3\xA9", true},
                      MatchCase{"[!\xC3\xA9]", "\xC3\xA8", true},
                      MatchCase{"*\xC3\xA9", "caf\xC3\xA9", true}, MatchCase{"?", "\xC3", true},
                      MatchCase{"?", "\xC3\x28", false}, MatchCase{"??", "\xC3\x28", true},
                      MatchCase{"?", "\xC0\x80", false}, MatchCase{"?", "\xED\xA0\x80", false}));

struct InvalidCase {
  const char* Mask;
  int Position;
};

std::ostream& operator<<(std::ostream& out, const InvalidCase& c) {
  return out << "'" << c.Mask << "'";
}

class InvalidMask : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidMask, NamesTheMaskAndTheFaultPosition) {
  const InvalidCase& c = GetParam();
  try {
    TFileMask mask(c.Mask);
    FAIL() << "built an invalid mask";
  } catch (const EMaskException& error) {
    EXPECT_EQ(std::string(error.what()), "'" + std::string(c.Mask) + "' is an invalid mask at (" +
                                             std::to_string(c.Position) + ")");
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, InvalidMask,
                         ::testing::Values(InvalidCase{"[abc", 1}, InvalidCase{"*.ht[m", 5},
                                           InvalidCase{"[a-", 1}, InvalidCase{"[]", 2},
                                           InvalidCase{"x[!]", 4}, InvalidCase{"[-z]", 2},
                                           InvalidCase{"[!-z]", 3}, InvalidCase{"[a-c-e]", 5},
                                           InvalidCase{"\xC3\xA9[-z]", 3}));

std::string Wildcards(int count, const std::string& tail) {
  std::string mask;
  for (int i = 0; i < count; ++i)
    mask += "*a";
  return mask + tail;
}

TEST(MaskWildcardLimit, ThirtyElementsAfterWildcardsAreAllowed) {
  EXPECT_TRUE(TFileMask(Wildcards(30, "")).Matches(std::string(30, 'a')));
  EXPECT_TRUE(TFileMask(Wildcards(29, "*")).Matches(std::string(29, 'a')));
  EXPECT_NO_THROW(TFileMask("*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?"));
}

TEST(MaskWildcardLimit, TheThirtyFirstIsInvalidWhereItStands) {
  EXPECT_THROW(TFileMask(Wildcards(31, "")), EMaskException);
  try {
    TFileMask mask(Wildcards(30, "*"));
    FAIL();
  } catch (const EMaskException& error) {
    EXPECT_NE(std::string(error.what()).find("at (62)"), std::string::npos) << error.what();
  }
}

TEST(MaskWildcardLimit, ManyWildcardsDoNotBacktrackWithoutEnd) {
  const TFileMask mask(Wildcards(30, "b"));
  EXPECT_FALSE(mask.Matches(std::string(5000, 'a')));
  EXPECT_TRUE(mask.Matches(std::string(5000, 'a') + "b"));
}

TEST(MaskObject, CopiesMatchLikeTheOriginal) {
  const TFileMask original("*.pdf");
  TFileMask copy = original;
  TFileMask moved = std::move(copy);
  EXPECT_TRUE(moved.Matches("a.PDF"));
  EXPECT_TRUE(original.Matches("b.pdf"));
  EXPECT_TRUE(MatchesMask("x.pdf", "*.pdf"));
  EXPECT_THROW(MatchesMask("x", "["), EMaskException);
}

}  // namespace
}  // namespace tomelet
