// What browsers and shared caches read from each answer: Date, Last-Modified and
// If-Modified-Since, Cache-Control by kind, Vary where the body can differ, and the charset.
#include <sys/stat.h>

#include <cstdlib>

#include "serve/CachePolicy.h"
#include "serve/HttpDate.h"
#include "tests/serve/serve_fixture.h"
#include "tests/serve/serve_process.h"

namespace tomelet::serve::testing {
namespace {

TEST(HttpDateTest, ReadsTheThreeFormsAndRefusesTheRest) {
  const std::time_t expected = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(FormatHttpDate(expected), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994"), expected);
  EXPECT_EQ(ParseHttpDate(FormatHttpDate(1893456000)), 1893456000);  // 2030, after 32 bits
  for (const char* bad :
       {"", "yesterday", "Sun, 06 Nov 1994 08:49:37", "Sun, 06 Nov 1994 25:00:00 GMT",
        "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMT junk", "784111777"}) {
    EXPECT_EQ(ParseHttpDate(bad), std::nullopt) << bad;
  }
  EXPECT_TRUE(UnmodifiedSince("Sun, 06 Nov 1994 08:49:37 GMT", expected));
  EXPECT_FALSE(UnmodifiedSince("Sun, 06 Nov 1994 08:49:36 GMT", expected));
  EXPECT_FALSE(UnmodifiedSince("not a date", expected));
}

TEST(CachePolicyTest, EntriesListingsAndFailuresEachHaveTheirOwn) {
  const TCachePolicy open{.EntryMaxAge = 60};
  const TCachePolicy guarded{.EntryMaxAge = 60, .Private = true};
  EXPECT_EQ(CacheControlFor(TAnswerKind::Entry, 200, open), "public, max-age=60");
  EXPECT_EQ(CacheControlFor(TAnswerKind::Entry, 304, guarded), "private, max-age=60");
  EXPECT_EQ(CacheControlFor(TAnswerKind::Entry, 206, {.EntryMaxAge = 0}), "public, no-cache");
  EXPECT_EQ(CacheControlFor(TAnswerKind::Listing, 200, open), "public, max-age=10");
  EXPECT_EQ(CacheControlFor(TAnswerKind::Entry, 404, guarded), "private, max-age=10");
  EXPECT_EQ(CacheControlFor(TAnswerKind::Entry, 301, open), "public, max-age=10");
  for (const int status : {400, 401, 405, 416, 500, 503}) {
    EXPECT_EQ(CacheControlFor(TAnswerKind::Entry, status, open), "no-store") << status;
    EXPECT_EQ(CacheControlFor(TAnswerKind::Listing, status, open), "no-store") << status;
  }
}

class CachingHeadersTest : public ServeTest {
 protected:
  CachingHeadersTest() {
    testDocument_.Entry("notes.txt", "L\xC3\xB6wis");
    testDocument_.Entry("legacy.txt", "L\xF6wis");
    testDocument_.Entry("old.htm",
                        "<html><head><meta charset=\"windows-1252\"></head>L\xF6wis</html>");
    rules_.MaxAge = 120;
    Serve();
  }
  std::string LastModified() const {
    struct stat status {};
    ::stat(document_.c_str(), &status);
    return FormatHttpDate(status.st_mtime);
  }
  httplib::Result Conditional(const std::string& target, httplib::Headers headers) const {
    headers.emplace("Connection", "close");
    return Get(target, headers);
  }
};

TEST_F(CachingHeadersTest, EveryAnswerIsDatedAndKeptAccordingToWhatItIs) {
  struct Case {
    std::string target;
    int status;
    std::string cacheControl;
  };
  for (const Case& c :
       {Case{"/index.htm", 200, "public, max-age=120"}, Case{"/", 302, "public, max-age=10"},
        Case{"/missing.htm", 404, "public, max-age=10"},
        Case{"/-/nothing", 404, "public, max-age=10"}}) {
    const auto result = Get(c.target);
    ASSERT_TRUE(result) << c.target;
    EXPECT_EQ(result->status, c.status) << c.target;
    EXPECT_EQ(result->get_header_value("Cache-Control"), c.cacheControl) << c.target;
    const auto date = ParseHttpDate(result->get_header_value("Date"));
    ASSERT_TRUE(date) << c.target;
    EXPECT_LE(std::abs(*date - std::time(nullptr)), 5) << c.target;
  }
  const auto refused = Client().Post("/index.htm", "", "text/plain");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 405);
  EXPECT_EQ(refused->get_header_value("Cache-Control"), "no-store");
  EXPECT_TRUE(ParseHttpDate(refused->get_header_value("Date")));

  // An answer of the transport itself, before any site sees the request.
  const int fd = LoopbackConnection(server_->Port());
  const std::string garbage = "NOT HTTP AT ALL\r\n\r\n";
  ASSERT_EQ(::write(fd, garbage.data(), garbage.size()), static_cast<ssize_t>(garbage.size()));
  std::string answer(4096, '\0');
  answer.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(fd, answer.data(), 4096))));
  ::close(fd);
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 400")) << answer;
  EXPECT_NE(answer.find("\r\nDate: "), std::string::npos) << answer;
  EXPECT_NE(answer.find("\r\nCache-Control: no-store\r\n"), std::string::npos) << answer;
}

TEST_F(CachingHeadersTest, TheDocumentsTimeAnswersIfModifiedSinceWhenNoTagIsSent) {
  const auto page = Get("/index.htm");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->get_header_value("Last-Modified"), LastModified());
  const std::string tag = page->get_header_value("ETag");

  const auto same = Conditional("/index.htm", {{"If-Modified-Since", LastModified()}});
  ASSERT_TRUE(same);
  EXPECT_EQ(same->status, 304);
  EXPECT_EQ(same->get_header_value("Cache-Control"), "public, max-age=120");
  EXPECT_EQ(same->get_header_value("Last-Modified"), LastModified());
  EXPECT_EQ(same->get_header_value("ETag"), tag);

  const std::time_t before = *ParseHttpDate(LastModified()) - 1;
  EXPECT_EQ(Conditional("/index.htm", {{"If-Modified-Since", FormatHttpDate(before)}})->status,
            200);
  EXPECT_EQ(Conditional("/index.htm", {{"If-Modified-Since", "garbage"}})->status, 200);
  // A tag that does not match decides over a date that would.
  EXPECT_EQ(Conditional("/index.htm",
                        {{"If-Modified-Since", LastModified()}, {"If-None-Match", "\"other\""}})
                ->status,
            200);
}

TEST_F(CachingHeadersTest, VaryOnlyWhereADeflatedFormCanBeSent) {
  const auto deflated = Get("/index.htm");
  const auto stored = Get("/images/photo.png");
  ASSERT_TRUE(deflated && stored);
  EXPECT_EQ(deflated->get_header_value("Vary"), "Accept-Encoding");
  EXPECT_FALSE(stored->has_header("Vary"));
  EXPECT_EQ(stored->get_header_value("Content-Type"), "image/png");
}

TEST_F(CachingHeadersTest, TextIsNamedUtfEightOnlyWhenItIs) {
  for (int round = 0; round < 2; ++round) {  // the second time from what was learnt
    EXPECT_EQ(Get("/notes.txt")->get_header_value("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(Get("/legacy.txt")->get_header_value("Content-Type"), "text/plain");
    EXPECT_EQ(Get("/old.htm")->get_header_value("Content-Type"), "text/html");
    EXPECT_EQ(Get("/index.htm", {{"Accept-Encoding", "deflate"}})->get_header_value("Content-Type"),
              "text/html; charset=utf-8");
  }
}

}  // namespace
}  // namespace tomelet::serve::testing
