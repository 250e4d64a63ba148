#include <gtest/gtest.h>

#include "search/HtmlText.h"
#include "search/IndexFormat.h"
#include "search/Snippet.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

std::string LeadOf(std::string_view html, const TPageSection& section) {
  return SectionLead(html.substr(section.Lead->Start, section.Lead->End - section.Lead->Start));
}

// Every section of the page has a lead range, and reading it again gives the snippet's text
// that reading the whole page gave.
void ExpectLeadsReadAgain(const std::string& html) {
  const TPageText page = ExtractPageText(html);
  ASSERT_FALSE(page.Sections.empty());
  for (const auto& section : page.Sections) {
    SCOPED_TRACE(section.Anchor + ": " + ShownText(section));
    ASSERT_TRUE(section.Lead.has_value());
    EXPECT_EQ(SnippetText(LeadOf(html, section), format::kStoredTextBytes),
              SnippetText(ShownText(section), format::kStoredTextBytes));
  }
}

TEST(SectionLeadTest, EachSectionReadsAgainFromItsRangeAsThePageGaveIt) {
  const std::string awkward =
      Page("Awkward",
           "<p>Before any heading &amp; its text.</p>"
           "<h2 title=\"a > b\" id=\"quoted\">Quoted &lt;attribute&gt;</h2><p>Caf&eacute; &#8212; "
           "done.</p><H3 ID=upper>Upper case</H3><P>Shouted tags.</P>"
           "<span id='before'></span><h3>Named before</h3><p>Its id came first.</p>"
           "<h2><a id='inside'></a>Named inside<a class='headerlink' href='#inside'>¶</a></h2>"
           "<nav>skipped links</nav><script>var skipped = 1;</script><p>After chrome.</p>"
           "<dl><dt id='f'>f(a)</dt><dt>f(a, b)</dt><dd><p>Two signatures, one section.</p></dd>"
           "<dt id='g'>g()</dt><dd>Last definition</dd></dl>"
           "<h2 id='cjk'>検索について</h2><p>日本語のテキストを検索する方法。</p>");
  ExpectLeadsReadAgain(awkward);

  std::string words;
  for (int i = 0; i < 400; ++i) {
    words += "<em>word" + std::to_string(i) + "</em> and ";
  }
  ExpectLeadsReadAgain(Page("Long", "<h1 id='long'>Long</h1><p>" + words +
                                        "</p><h2 id='next'>Next"
                                        "</h2><p>Short.</p>"));

  // The parser takes a page in pieces of 1 MiB: a section across the seam, and one beyond it.
  const std::string filler(std::size_t{1} << 20, ' ');
  ExpectLeadsReadAgain(
      Page("Large", "<h1 id='a'>First</h1><p>Start" + filler +
                        "across the seam.</p><h2 id='b'>Beyond</h2><p>Far on.</p>"));
}

TEST(SectionLeadTest, ARangeCoversTheStartOfTheTextNotTheWholeSection) {
  std::string words;
  for (int i = 0; i < 2000; ++i) {
    words += "word" + std::to_string(i) + " ";
  }
  const std::string html = Page("Long", "<h1 id='long'>Long</h1><p>" + words + "</p>");
  const TPageText page = ExtractPageText(html);
  const auto& section = page.Sections.back();
  ASSERT_TRUE(section.Lead.has_value());
  EXPECT_LT(section.Lead->End - section.Lead->Start, 2 * kLeadTextBytes);
  EXPECT_GE(LeadOf(html, section).size(), kLeadTextBytes);
}

// A page in another charset has no ranges: the parser's places are then in its converted text.
TEST(SectionLeadTest, APageNotInUtf8KeepsItsTextInTheIndex) {
  const std::string latin1 =
      "<html><head><meta charset='iso-8859-1'><title>Caf\xe9</title></head><body>"
      "<h1 id='cafe'>Le caf\xe9</h1><p>Tr\xe8s serr\xe9.</p></body></html>";
  for (const auto& section : ExtractPageText(latin1).Sections) {
    EXPECT_FALSE(section.Lead.has_value());
  }
  const TIndexFile file({{"cafe.html", latin1}});
  const auto hits = file.Open()->Search("serré", 0, 5).Hits;
  ASSERT_EQ(hits.size(), 1U);
  EXPECT_EQ(hits[0].Snippet, "Le café Très <b>serré</b>.");
}

// The index asks its pages for the snippets only, so a page it cannot read costs the snippet
// and nothing else, and a page changed since cannot make it read past the page's end.
TEST(SectionLeadTest, WithoutItsPagesAnIndexStillFindsAndOnlySnippetsGo) {
  const TPages pages = {
      {"guide\\files.html", Page("Reading files",
                                 "<h1 id='files'>Reading files</h1><p>Open a file "
                                 "and read its lines one by one.</p>")}};
  const auto bytes = BuildIndex(pages);
  for (const TPages& given : {TPages{}, TPages{{"guide\\files.html", "<p>Cut"}}}) {
    const TIndexFile file(bytes, given);
    const auto hits = file.Open()->Search("lines", 0, 5).Hits;
    ASSERT_EQ(hits.size(), 1U);
    EXPECT_EQ(hits[0].Path, "guide\\files.html");
    EXPECT_EQ(hits[0].Anchor, "files");
    EXPECT_EQ(hits[0].Title, "Reading files");
  }
  EXPECT_EQ(TIndexFile(bytes).Open()->Search("lines", 0, 5).Hits.at(0).Snippet, "");
}

}  // namespace
}  // namespace tomelet::search::testing
