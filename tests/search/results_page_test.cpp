// The results page every front end shows: what it escapes and what it keeps, where its links
// lead, how it pages, and how it reads the query string it is asked with.
#include <gtest/gtest.h>

#include "search/ResultsPage.h"

namespace tomelet::search::testing {
namespace {

const TResultsAddresses kViewer{"tome://search/", "tome://inpack/", true, "", true};
const TResultsAddresses kServer{"/-/search", "/", true, ""};

TSearchResults Hits(std::size_t count, std::uint64_t total) {
  TSearchResults results;
  results.Total = total;
  for (std::size_t i = 0; i < count; ++i)
    results.Hits.push_back(
        {"notes\\n" + std::to_string(i) + ".htm", "", "Note", "a <b>gadget</b>", 1});
  return results;
}

bool Has(const std::string& page, const std::string& part) {
  return page.find(part) != std::string::npos;
}

TEST(ResultsPageTest, TitlesPathsAndQueriesAreEscapedWhileTheSnippetKeepsItsMarks) {
  TSearchResults results;
  results.Total = 1;
  results.Hits.push_back({"a&b\\<x>.htm", "sec\"1", "<script>alert(1)</script> & more",
                          "the &lt;b&gt; tag and <b>bold</b> words", 1});
  const auto page = ResultsPageHtml({"\"><img src=x>", 0, 10}, results, "", kServer);
  EXPECT_FALSE(Has(page, "<script>alert")) << page;
  EXPECT_FALSE(Has(page, "<img src=x>")) << page;
  EXPECT_TRUE(Has(page, "&lt;script&gt;alert(1)&lt;/script&gt; &amp; more")) << page;
  EXPECT_TRUE(Has(page, "value=\"&quot;&gt;&lt;img src=x&gt;\"")) << page;
  EXPECT_TRUE(Has(page, "the &lt;b&gt; tag and <b>bold</b> words")) << page;
  EXPECT_TRUE(Has(page, "<cite>a&amp;b/&lt;x&gt;.htm</cite>")) << page;
  EXPECT_TRUE(Has(page, "href=\"/a%26b/%3Cx%3E.htm#sec%221\"")) << page;
}

TEST(ResultsPageTest, EveryPageLinksBackToTheDocumentWhenItsStartIsKnown) {
  TResultsAddresses addresses = kServer;
  addresses.Document = "/start \"page\".htm";
  const std::string link = "<a href=\"/start &quot;page&quot;.htm\">Back to the document</a>";
  EXPECT_TRUE(Has(ResultsPageHtml({"gadget", 0, 10}, Hits(1, 1), "", addresses), link));
  EXPECT_TRUE(Has(ResultsPageHtml({"", 0, 10}, Hits(0, 0), "", addresses), link));
  EXPECT_TRUE(Has(StatusPageHtml({"x", 0, 10}, "Indexing: 40%", true, addresses), link));
  EXPECT_FALSE(Has(ResultsPageHtml({"gadget", 0, 10}, Hits(1, 1), "", kServer), "Back to"));
}

TEST(ResultsPageTest, ViewerLinksLeadIntoTheDocumentAndItsBoxComesAfterTheResultsForTheKeyboard) {
  TSearchResults results;
  results.Total = 1;
  // A name written on Windows is shown as UTF-8 but linked by its own bytes.
  results.Hits.push_back(
      {"guide\\\xDC"
       "bersicht +1.htm",
       "open",
       "\xC3\x9C"
       "bersicht",
       "", 1});
  const auto page = ResultsPageHtml({"x", 0, 10}, results, "", kViewer);
  EXPECT_TRUE(Has(page, "href=\"tome://inpack/guide/%DCbersicht%20%2B1.htm#open\"")) << page;
  EXPECT_TRUE(Has(page,
                  "<cite>guide/\xC3\x9C"
                  "bersicht +1.htm</cite>"))
      << page;
  // Shown above the results, the refining box is reached after them and leaves the keyboard in
  // the page; the server's box takes the keyboard and comes first.
  ASSERT_TRUE(Has(page, "<form")) << page;
  EXPECT_GT(page.find("<form"), page.find("</ol>")) << page;
  EXPECT_TRUE(Has(page, "name=\"q\" value=\"x\">")) << page;
  EXPECT_FALSE(Has(page, "autofocus")) << page;
  const auto served = ResultsPageHtml({"x", 0, 10}, results, "", kServer);
  EXPECT_LT(served.find("<form"), served.find("<ol")) << served;
  EXPECT_TRUE(Has(served, "value=\"x\" autofocus>")) << served;
  EXPECT_FALSE(Has(ResultsPageHtml({"x", 0, 10}, results, "", {"/s", "/", false, ""}), "<form"));
  EXPECT_EQ(HitAddress({"a\\b.htm", "", "", "", 0}, "tome://inpack/"), "tome://inpack/a/b.htm");
}

TEST(ResultsPageTest, PagingLinksFollowTheStartAndStopAtTheLastHit) {
  auto page = ResultsPageHtml({"gadget", 0, 10}, Hits(10, 25), "", kViewer);
  EXPECT_TRUE(Has(page, "<ol start=\"1\">"));
  EXPECT_FALSE(Has(page, "rel=\"prev\""));
  EXPECT_TRUE(Has(page, "rel=\"next\" href=\"tome://search/?q=gadget&amp;limit=10&amp;start=10\""))
      << page;

  page = ResultsPageHtml({"gadget", 20, 10}, Hits(5, 25), "", kViewer);
  EXPECT_TRUE(Has(page, "<ol start=\"21\">"));
  EXPECT_TRUE(Has(page, "rel=\"prev\" href=\"tome://search/?q=gadget&amp;limit=10&amp;start=10\""));
  EXPECT_FALSE(Has(page, "rel=\"next\""));

  page = ResultsPageHtml({"gadget", 5, 10}, Hits(10, 25), "", kViewer);
  EXPECT_TRUE(Has(page, "start=0\">Previous")) << "never before the first hit";

  page = ResultsPageHtml({"nothing here", 0, 10}, Hits(0, 0), "", kViewer);
  EXPECT_TRUE(Has(page, "No pages match nothing here."));
  EXPECT_FALSE(Has(page, "<nav"));
}

TEST(ResultsPageTest, TheCountReadsAsAPersonWritesIt) {
  EXPECT_EQ(MatchCountText(1, true), "1 page matches");
  EXPECT_EQ(MatchCountText(2, true), "2 pages match");
  EXPECT_EQ(MatchCountText(999, true), "999 pages match");
  EXPECT_EQ(MatchCountText(1000, true), "1,000 pages match");
  EXPECT_EQ(MatchCountText(20, false), "About 20 pages match");
  EXPECT_EQ(MatchCountText(1234567, false), "About 1,234,567 pages match");
  auto results = Hits(1, 1);
  results.TotalExact = true;
  EXPECT_TRUE(Has(ResultsPageHtml({"gadget", 0, 10}, results, "", kViewer),
                  "<p role=\"status\">1 page matches gadget.</p>"));
  EXPECT_TRUE(Has(ResultsPageHtml({"gadget", 0, 10}, Hits(10, 4500), "", kServer),
                  "<p role=\"status\">About 4,500 pages match gadget.</p>"));
}

TEST(ResultsPageTest, ARefusedIndexIsNamedAndTheStatusPageRefreshesOnlyWhenAsked) {
  const auto page =
      ResultsPageHtml({"x", 0, 10}, Hits(1, 1), "The search index is damaged", kViewer);
  EXPECT_TRUE(Has(page, "The search index is damaged; these results come from an index built"));
  const auto indexing = StatusPageHtml({"x", 0, 10}, "Indexing: 40%", true, kViewer);
  EXPECT_TRUE(Has(indexing, "<meta http-equiv=\"refresh\" content=\"1\">"));
  EXPECT_TRUE(Has(indexing, "<p role=\"status\">Indexing: 40%</p>"));
  EXPECT_FALSE(Has(StatusPageHtml({}, "No index <here>", false, kViewer), "refresh"));
  EXPECT_TRUE(Has(StatusPageHtml({}, "No index <here>", false, kViewer), "No index &lt;here&gt;"));
}

TEST(ResultsQueryTest, FormEncodingAndBoundedNumbers) {
  auto query = ParseResultsQuery("q=read+a%20file%2B&start=20&limit=5&other=1");
  EXPECT_EQ(query.Text, "read a file+");
  EXPECT_EQ(query.Start, 20u);
  EXPECT_EQ(query.Limit, 5u);
  query = ParseResultsQuery("q=%ZZ%4&start=-3&limit=0");
  EXPECT_EQ(query.Text, "%ZZ%4");
  EXPECT_EQ(query.Start, 0u);
  EXPECT_EQ(query.Limit, 1u);
  query = ParseResultsQuery("start=99999999999999999999999&limit=100000");
  EXPECT_EQ(query.Start, 0u) << "a number too large to read falls back";
  EXPECT_EQ(query.Limit, 100u);
  EXPECT_EQ(ParseResultsQuery("start=50000").Start, 10000u);
  EXPECT_EQ(ParseResultsQuery("").Limit, kResultsPerPage);
}

}  // namespace
}  // namespace tomelet::search::testing
