#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/text/Utf8.h"

namespace tomelet {
namespace {

// Every character read from text under policy; a refusal shows as 0xFFFFFFFF and stops.
std::vector<char32_t> ReadAll(std::string_view text, TMalformedUtf8 policy) {
  std::vector<char32_t> read;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::optional<char32_t> next = NextUtf8Char(text, pos, policy);
    read.push_back(next.value_or(0xFFFFFFFF));
    if (!next)
      break;
  }
  return read;
}

TEST(Utf8Reading, WellFormedTextReadsTheSameUnderEveryPolicy) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\x96\xF4\x8F\xBF\xBF";
  const std::vector<char32_t> expected = {'a', 0xE9, 0x20AC, 0x1F4D6, 0x10FFFF};
  for (auto policy : {TMalformedUtf8::Refuse, TMalformedUtf8::Replace, TMalformedUtf8::KeepByte})
    EXPECT_EQ(ReadAll(text, policy), expected);
}

// A malformed sequence costs exactly its first byte, so what follows it is still read.
TEST(Utf8Reading, EachPolicyPassesOverOneMalformedByteAtATime) {
  struct Case {
    std::string bytes;
    std::vector<char32_t> replaced;
    std::vector<char32_t> kept;
  };
  const char32_t k = kMalformedUtf8Byte;
  const std::vector<Case> cases = {
      {"caf\xE9", {'c', 'a', 'f', 0xFFFD}, {'c', 'a', 'f', k + 0xE9}},  // Windows-1252 é
      {"\xC0\xAF", {0xFFFD, 0xFFFD}, {k + 0xC0, k + 0xAF}},             // overlong "/"
      {"\xED\xA0\x80x", {0xFFFD, 0xFFFD, 0xFFFD, 'x'}, {k + 0xED, k + 0xA0, k + 0x80, 'x'}},
      {"\xF4\x90\x80\x80",
       {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD},
       {k + 0xF4, k + 0x90, k + 0x80, k + 0x80}},
      {"\xE2\x82", {0xFFFD, 0xFFFD}, {k + 0xE2, k + 0x82}},             // cut short
      {"\xE2(\xA9", {0xFFFD, '(', 0xFFFD}, {k + 0xE2, '(', k + 0xA9}},  // broken by ASCII
      {"\xFF", {0xFFFD}, {k + 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(ReadAll(c.bytes, TMalformedUtf8::Replace), c.replaced);
    EXPECT_EQ(ReadAll(c.bytes, TMalformedUtf8::KeepByte), c.kept);
    EXPECT_EQ(ReadAll(c.bytes, TMalformedUtf8::Refuse).back(), char32_t{0xFFFFFFFF});
  }
}

TEST(Utf8Reading, AppendingWritesTheShortestFormUpToTheLastCodePoint) {
  std::string out;
  for (char32_t c : {char32_t{'/'}, char32_t{0x7FF}, char32_t{0xFFFD}, char32_t{0x10FFFF}})
    AppendUtf8(out, c);
  EXPECT_EQ(out, "/\xDF\xBF\xEF\xBF\xBD\xF4\x8F\xBF\xBF");
}

}  // namespace
}  // namespace tomelet
