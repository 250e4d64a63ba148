#include <cstdio>

#include "serve/HttpRange.h"
#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class EntityTagTest : public ServeTest {
 protected:
  EntityTagTest() { Serve(); }

  // The plain client reads a reply without a length up to the end of the connection, even a
  // 304 reply, which has no body; asking for the connection to close lets it finish.
  httplib::Result Conditional(const std::string& target, httplib::Headers headers) const {
    headers.emplace("Connection", "close");
    return Get(target, headers);
  }
};

TEST_F(EntityTagTest, RepeatedRequestWithTheTagIsNotModified) {
  const auto first = Get("/index.htm");
  ASSERT_TRUE(first);
  const std::string tag = first->get_header_value("ETag");
  ASSERT_FALSE(tag.empty());
  const auto second = Conditional("/index.htm", {{"If-None-Match", tag}});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 304);
  EXPECT_TRUE(second->body.empty());
  EXPECT_EQ(second->get_header_value("ETag"), tag);
}

TEST_F(EntityTagTest, TagsDifferBetweenEntriesAndOtherTagsGetTheEntry) {
  const auto page = Get("/index.htm");
  const auto css = Get("/style.css");
  ASSERT_TRUE(page && css);
  EXPECT_NE(page->get_header_value("ETag"), css->get_header_value("ETag"));
  const auto result = Conditional("/index.htm", {{"If-None-Match", css->get_header_value("ETag")}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
}

TEST_F(EntityTagTest, ListsWeakTagsAndStarMatch) {
  const std::string tag = Get("/style.css")->get_header_value("ETag");
  EXPECT_EQ(Conditional("/style.css", {{"If-None-Match", "\"other\", W/" + tag}})->status, 304);
  EXPECT_EQ(Conditional("/style.css", {{"If-None-Match", "*"}})->status, 304);
}

TEST_F(EntityTagTest, DeflatedReplyHasItsOwnTagThatAlsoRevalidates) {
  const auto plain = Get("/index.htm");
  const auto deflated = Get("/index.htm", {{"Accept-Encoding", "deflate"}});
  ASSERT_TRUE(plain && deflated);
  EXPECT_NE(plain->get_header_value("ETag"), deflated->get_header_value("ETag"));
  const auto again = Conditional(
      "/index.htm",
      {{"Accept-Encoding", "deflate"}, {"If-None-Match", deflated->get_header_value("ETag")}});
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 304);
  EXPECT_EQ(again->get_header_value("ETag"), deflated->get_header_value("ETag"));
}

struct RangeCase {
  std::string header;
  int status;
  std::int64_t first;
  std::int64_t length;
};

class RangeTest : public ServeTest, public ::testing::WithParamInterface<RangeCase> {
 protected:
  RangeTest() {
    testDocument_.Entry("big.txt", PageText("big", 300000));
    Serve();
  }
};

TEST_P(RangeTest, StoredDeflatedAndLargeEntriesAnswerAlike) {
  const RangeCase& range = GetParam();
  for (const std::string name : {"index.htm", "images/photo.png", "big.txt"}) {
    const std::string contents =
        testDocument_.Contents(name == "images/photo.png" ? "images\\photo.png" : name);
    const auto size = static_cast<std::int64_t>(contents.size());
    const auto result = Get("/" + name, {{"Range", range.header}});
    ASSERT_TRUE(result) << name;
    ASSERT_EQ(result->status, range.status) << name << " " << range.header;
    if (range.status == 416) {
      EXPECT_EQ(result->get_header_value("Content-Range"), "bytes */" + std::to_string(size));
      continue;
    }
    const std::int64_t first = range.first >= 0 ? range.first : size + range.first;
    const std::int64_t length = range.length >= 0 ? range.length : size - first;
    EXPECT_EQ(result->body,
              contents.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(length)))
        << name << " " << range.header;
    if (range.status == 206) {
      EXPECT_EQ(result->get_header_value("Content-Range"), "bytes " + std::to_string(first) + "-" +
                                                               std::to_string(first + length - 1) +
                                                               "/" + std::to_string(size));
    }
  }
}

// first < 0 counts from the end; length < 0 runs to the end.
INSTANTIATE_TEST_SUITE_P(
    Headers, RangeTest,
    ::testing::Values(RangeCase{"bytes=0-9", 206, 0, 10}, RangeCase{"bytes=100-", 206, 100, -1},
                      RangeCase{"bytes=-25", 206, -25, -1}, RangeCase{"bytes=5-5", 206, 5, 1},
                      RangeCase{"bytes=10-99999999", 206, 10, -1},
                      RangeCase{"bytes=99999999-", 416, 0, 0}, RangeCase{"bytes=-0", 416, 0, 0},
                      RangeCase{"bytes=0-1,5-6", 200, 0, -1}, RangeCase{"items=0-1", 200, 0, -1},
                      RangeCase{"bytes=9-2", 200, 0, -1}));

TEST_F(EntityTagTest, NotModifiedKeepsTheConnectionForTheNextRequest) {
  const std::string tag = Get("/index.htm")->get_header_value("ETag");
  const std::string url = "http://127.0.0.1:" + std::to_string(server_->Port()) + "/index.htm";
  const std::string command =
      "curl --silent --max-time 5 --output /dev/null --header 'If-None-Match: " + tag +
      "' --write-out '%{http_code} %{num_connects}\\n' " + url + " " + url;
  std::FILE* curl = ::popen(command.c_str(), "r");
  ASSERT_NE(curl, nullptr);
  char text[64] = {};
  const std::size_t got = std::fread(text, 1, sizeof text - 1, curl);
  ::pclose(curl);
  EXPECT_EQ(std::string(text, got), "304 1\n304 0\n");
}

TEST_F(EntityTagTest, RangesAreIdentityBytesEvenWhenDeflateIsAccepted) {
  const auto result = Get("/index.htm", {{"Range", "bytes=3-12"}, {"Accept-Encoding", "deflate"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 206);
  EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm").substr(3, 10));
}

// The server reads each field of a request in one pass; a field sent twice is read as a search
// by its name finds it, the first one counting.
TEST_F(EntityTagTest, OfAFieldSentTwiceTheFirstCounts) {
  const auto result = Get("/index.htm", {{"Range", "bytes=3-12"}, {"Range", "bytes=0-1"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 206);
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm").substr(3, 10));
}

TEST_F(EntityTagTest, IfRangeWithAnotherTagGetsTheWholeEntry) {
  const auto result = Get("/index.htm", {{"Range", "bytes=0-9"}, {"If-Range", "\"stale\""}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm"));
}

// Past the memory budget an entry that would be held whole is inflated in pieces instead; the
// bytes and the ranges must be the same.
TEST_F(ServeTest, EntriesBeyondTheMemoryBudgetAreStreamedWithTheSameBytes) {
  memoryBudget_ = std::size_t{1} << 20;
  const std::string big = PageText("Big", 80000);
  ASSERT_GT(big.size(), memoryBudget_);
  testDocument_.Entry("big.htm", big);
  Serve();
  const auto whole = Get("/big.htm");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_TRUE(whole->body == big);
  const auto part = Get("/big.htm", {{"Range", "bytes=1500000-1500099"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, big.substr(1500000, 100));
  EXPECT_EQ(Get("/index.htm")->body, testDocument_.Contents("index.htm"));
}

TEST(ByteRangeParsing, EmptyEntriesHaveNoSatisfiableRange) {
  EXPECT_EQ(ParseByteRange("bytes=0-", 0).Verdict, TByteRange::Kind::Unsatisfiable);
  EXPECT_EQ(ParseByteRange("bytes=-5", 0).Verdict, TByteRange::Kind::Unsatisfiable);
}

TEST(ByteRangeParsing, MalformedNumbersAskForTheWholeBody) {
  for (const std::string_view header :
       {"bytes=", "bytes=-", "bytes=a-b", "bytes=1-2x", "bytes=-1-2"}) {
    EXPECT_EQ(ParseByteRange(header, 100).Verdict, TByteRange::Kind::Whole) << header;
  }
}

// Clients ask for "the rest" with an end past any file; a start past it is past this one.
TEST(ByteRangeParsing, CountsBeyondAnyFileReachItsEnd) {
  const auto rest = ParseByteRange("bytes=10-99999999999999999999", 100);
  EXPECT_EQ(rest.Verdict, TByteRange::Kind::Part);
  EXPECT_EQ(rest.First, 10);
  EXPECT_EQ(rest.Length, 90);
  const auto suffix = ParseByteRange("bytes=-99999999999999999999", 100);
  EXPECT_EQ(suffix.Verdict, TByteRange::Kind::Part);
  EXPECT_EQ(suffix.Length, 100);
  EXPECT_EQ(ParseByteRange("bytes=99999999999999999999-", 100).Verdict,
            TByteRange::Kind::Unsatisfiable);
}

TEST(AcceptEncodingParsing, QualityZeroAndWildcardsAreHonoured) {
  EXPECT_TRUE(AcceptsDeflate("gzip, deflate, br"));
  EXPECT_TRUE(AcceptsDeflate("DEFLATE;q=0.5"));
  EXPECT_TRUE(AcceptsDeflate("*"));
  EXPECT_FALSE(AcceptsDeflate(""));
  EXPECT_FALSE(AcceptsDeflate("gzip"));
  EXPECT_FALSE(AcceptsDeflate("deflate;q=0"));
  EXPECT_FALSE(AcceptsDeflate("deflate;q=0.000, *"));
  EXPECT_FALSE(AcceptsDeflate("*;q=0"));
  EXPECT_FALSE(AcceptsDeflate("deflatex"));
}

}  // namespace
}  // namespace tomelet::serve::testing
