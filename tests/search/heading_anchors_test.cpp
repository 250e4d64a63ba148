// Where a hit points on a page whose headings carry no id of their own: the anchor that names
// the heading is taken, so the hit lands at its section.
#include <gtest/gtest.h>

#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

std::string FirstHit(const TSearchIndex& index, std::string_view word) {
  const auto results = index.Search(word, 0, 1);
  return results.Hits.empty() ? std::string() : Paths(results).at(0);
}

TEST(HeadingAnchorsTest, AnAnchorInsideOrJustBeforeAHeadingNamesItsSection) {
  const TPages pages = {
      // As a documentation generator writes a page: the page's own anchor, then sections whose
      // ids sit on empty anchors inside the headings.
      {"guide.html", Page("Guide",
                          "<div class='textblock'><p><a class='anchor' id='md_guide'></a>"
                          "</p>\n<h1><a class='anchor' id='installing'></a>\nInstalling"
                          "</h1><p>Install qzapt first.</p>\n<h1><a class='anchor' "
                          "id='writing'></a>\nWriting notes</h1><p>A qzleaf is kept."
                          "</p></div>")},
      {"old.html", Page("Old", "<h2><a name='legacy'>Legacy names</a></h2><p>qzlegacy</p>")},
      {"before.html", Page("Before", "<a id='early'></a>\n<h2>Early</h2><p>qzearly</p>")},
      {"own.html", Page("Own",
                        "<h2 id='own'><a id='inner'></a>Own id</h2><p>qzown</p>"
                        "<h2>Linked <a href='x.html'>text</a></h2><p>qznone</p>")},
  };
  const TIndexFile file(pages);
  const auto index = file.Open();
  EXPECT_EQ(FirstHit(*index, "qzapt"), "guide.html#installing");
  EXPECT_EQ(FirstHit(*index, "qzleaf"), "guide.html#writing");
  EXPECT_EQ(FirstHit(*index, "qzlegacy"), "old.html#legacy");
  EXPECT_EQ(FirstHit(*index, "qzearly"), "before.html#early");
  EXPECT_EQ(FirstHit(*index, "qzown"), "own.html#own");
  EXPECT_EQ(FirstHit(*index, "qznone"), "own.html");
}

TEST(HeadingAnchorsTest, AFurtherSignatureOfADefinitionLeadsToTheDefinition) {
  // A decorator usable bare and with arguments: two <dt>, the id on the first only.
  const TIndexFile file(
      BuildIndex({{"functools.html", Page("functools",
                                          "<h1 id='top'>functools</h1><dl>"
                                          "<dt id='functools.lru_cache'>lru_cache("
                                          "user_function)</dt><dt>lru_cache(qzsize)"
                                          "</dt><dd>Wraps qzmemo.</dd></dl><dl><dt>"
                                          "qzlone</dt><dd>No id.</dd></dl>")}}));
  const auto index = file.Open();
  EXPECT_EQ(FirstHit(*index, "qzsize"), "functools.html#functools.lru_cache");
  EXPECT_EQ(FirstHit(*index, "qzmemo"), "functools.html#functools.lru_cache");
  EXPECT_EQ(FirstHit(*index, "qzlone"), "functools.html");
}

}  // namespace
}  // namespace tomelet::search::testing
