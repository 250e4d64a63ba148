// The Search command's logic: it exists only once the password was given and only when the
// document allows Find, and a document without an index is indexed in the background while the
// results page shows the progress.
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "Unit1/DocumentSearch.h"
#include "document/Document.h"
#include "main_window_fakes.h"
#include "search/DocumentIndex.h"

namespace tomelet::testing {
namespace {

class DocumentSearchTest : public MainWindowTest {
 protected:
  DocumentSearchTest() { ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1); }

  std::string SearchableDocument(const TProjectOptions& options,
                                 const std::string& name = "searchable.tlt") {
    return Document(
        name, TTestDocument()
                  .Entry("index.htm", "<html lang='en'><title>Start</title><p>Welcome</p></html>")
                  .Entry("guide\\open files.htm",
                         "<title>Opening &lt;files&gt;</title><h2 id='how'>How to "
                         "open</h2><p>Opening a gadget needs a key.</p>")
                  .Options(options));
  }

  // The results page once indexing is done, with every page shown on the way there.
  std::string ResultsWhenReady(TDocumentSearch& search, const std::string& query,
                               std::vector<std::string>& pagesOnTheWay) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto page = search.ResultsPage(query);
    while (page.find("http-equiv=\"refresh\"") != std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      pagesOnTheWay.push_back(page);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      page = search.ResultsPage(query);
    }
    return page;
  }
};

TEST_F(DocumentSearchTest, NoSearchBeforeThePasswordNorWhenFindIsForbidden) {
  auto options = FriendlyOptions();
  options.SetShortStringAt(option_offset::AccessPassword, "Key");
  dialogs.typedPassword = "wrong";
  auto& refused = Started(SearchableDocument(options, "refused.tlt"));
  EXPECT_EQ(refused.DocumentSearch(), nullptr);
  EXPECT_FALSE(refused.RunShortcut(TShortcut::Search));
  refused.ButtonDocumentSearchClick();
  EXPECT_FALSE(view.Called("search bar"));

  dialogs.typedPassword = "Key";
  auto& opened = Started(SearchableDocument(options, "opened.tlt"));
  ASSERT_NE(opened.DocumentSearch(), nullptr);
  EXPECT_TRUE(opened.RunShortcut(TShortcut::Search));
  EXPECT_TRUE(view.Called("search bar"));

  options.SetBooleanAt(option_offset::AllowFind, false);
  auto& withoutFind = Started(SearchableDocument(options, "without-find.tlt"));
  EXPECT_EQ(withoutFind.DocumentSearch(), nullptr);
  EXPECT_FALSE(withoutFind.RunShortcut(TShortcut::Search));
  EXPECT_FALSE(view.enabled.at(TFormControl::ButtonDocumentSearch));
}

TEST_F(DocumentSearchTest, AnUnindexedDocumentShowsProgressThenResultsThatLeadIntoIt) {
  TDocumentSearch search(OpenDocument(SearchableDocument(FriendlyOptions())), "index.htm");
  EXPECT_TRUE(search.Suggest("").empty());
  std::vector<std::string> progress;
  const auto page = ResultsWhenReady(search, "tome://search/?q=opening+gadget#top", progress);
  // The window never waits: until the index is there, each page says how far it has got.
  for (const auto& shown : progress) {
    EXPECT_TRUE(shown.find("Opening the search index") != std::string::npos ||
                shown.find("Indexing the document for search: ") != std::string::npos)
        << shown;
  }
  EXPECT_NE(page.find("href=\"tome://inpack/guide/open%20files.htm#how\""), std::string::npos)
      << page;
  EXPECT_NE(page.find("Opening &lt;files&gt;"), std::string::npos) << page;
  // The query field refines the search; it follows the results, which the keyboard reaches first.
  const auto field = page.find("name=\"q\" value=\"opening gadget\">");
  ASSERT_NE(field, std::string::npos) << page;
  EXPECT_GT(field, page.find("</ol>")) << page;
  EXPECT_NE(page.find("<a href=\"tome://inpack/index.htm\">Back to the document</a>"),
            std::string::npos)
      << page;
  EXPECT_TRUE(std::filesystem::exists(search::CachedIndexPath(
      *OpenDocument(folder_ / "searchable.tlt"), StartPageArchivePath("index.htm"))))
      << "the cache file every front end uses";

  const auto suggested = search.Suggest("how to op");
  ASSERT_EQ(suggested.size(), 1u);
  EXPECT_EQ(SuggestionAddress(suggested[0]), "tome://inpack/guide/open%20files.htm");
}

}  // namespace
}  // namespace tomelet::testing
