#include <gtest/gtest.h>

#include <string>

#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

struct Utf8Case {
  std::string bytes;
  bool valid;
};

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, MatchesTheStrictDefinition) {
  EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Sequences, Utf8Validity,
                         ::testing::Values(Utf8Case{"", true}, Utf8Case{"plain ascii.htm", true},
                                           Utf8Case{"caf\xC3\xA9", true},        // é
                                           Utf8Case{"\xE2\x82\xAC", true},       // €
                                           Utf8Case{"\xF0\x9F\x93\x96", true},   // U+1F4D6
                                           Utf8Case{"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
                                           Utf8Case{"caf\xE9", false},           // Windows-1252 é
                                           Utf8Case{"\xC0\xAF", false},          // overlong "/"
                                           Utf8Case{"\xE0\x80\xAF", false},      // overlong "/"
                                           Utf8Case{"\xED\xA0\x80", false},      // surrogate
                                           Utf8Case{"\xF4\x90\x80\x80", false},  // above U+10FFFF
                                           Utf8Case{"\xE2\x82", false},          // cut short
                                           Utf8Case{"\x80", false},        // lone continuation
                                           Utf8Case{"\xC3\x28", false}));  // bad continuation

TEST(Windows1252, UpperHalfMapsToTheRightCharacters) {
  EXPECT_EQ(Windows1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Windows1252ToUtf8("\x9F"), "\xC5\xB8");  // Ÿ
  EXPECT_EQ(Windows1252ToUtf8("\xA0"), "\xC2\xA0");  // no-break space
  EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xC2\x81");  // undefined byte kept as C1 control
}

TEST(Windows1252, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    all.push_back(static_cast<char>(b));
  }
  const auto utf8 = Windows1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  const auto back = Utf8ToWindows1252(utf8);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
}

TEST(Windows1252, UnrepresentableOrMalformedTextGivesNothing) {
  EXPECT_FALSE(Utf8ToWindows1252("\xE4\xB8\xAD").has_value());  // 中
  EXPECT_FALSE(Utf8ToWindows1252("caf\xE9").has_value());       // not UTF-8 at all
  EXPECT_EQ(Utf8ToWindows1252("images\\help.jpg"), "images\\help.jpg");
  EXPECT_EQ(Utf8ToWindows1252("\xE2\x84\xA2"), "\x99");  // ™
}

TEST(DisplayText, KeepsUtf8AndConvertsEverythingElse) {
  EXPECT_EQ(DisplayText("caf\xC3\xA9.htm"), "caf\xC3\xA9.htm");
  EXPECT_EQ(DisplayText("caf\xE9.htm"), "caf\xC3\xA9.htm");
  std::string out = "prefix:";
  AppendDisplayText(out, "\x93quoted\x94");
  EXPECT_EQ(out, "prefix:\xE2\x80\x9Cquoted\xE2\x80\x9D");
}

}  // namespace
}  // namespace tomelet
