// The window's bookmark commands: Ctrl+D keeps pages of this document with their place, a
// bookmark opens there again, imports take only this document's pages, and the list comes back
// with the document; a damaged list is reported and kept aside, a locked document keeps none.
#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

using ReaderBookmarksTest = MainWindowTest;

TEST_F(ReaderBookmarksTest, PagesOfThisDocumentAreKeptWithTheirPlaceAndComeBackWithIt) {
  const auto document = Document("manual.tlt", FriendlyOptions());
  auto* logic = &Started(document);
  EXPECT_TRUE(view.enabled[TFormControl::ButtonBookmarks]);
  logic->WebBrowser1TitleChange("Start");
  view.position = {"tome://inpack/index.htm#end", 0, 700};
  ASSERT_TRUE(logic->RunShortcut(TShortcut::Bookmark));
  view.position.ScrollY = 800;
  logic->RunShortcut(TShortcut::Bookmark);
  ASSERT_EQ(logic->Bookmarks().size(), 1u) << "the same page again gets its new place";
  EXPECT_EQ(logic->Bookmarks()[0].ScrollY, 800);
  EXPECT_EQ(view.statusText, "Bookmarked: Start");
  view.position = {"tome://search/?q=x", 0, 0};
  logic->AddBookmark();
  EXPECT_EQ(logic->Bookmarks().size(), 1u);

  const auto file =
      Write("export.html",
            FormatBookmarkFile(std::vector<TBookmark>{{"Again", "tome://inpack/index.htm#end"},
                                                      {"Top", "tome://inpack/INDEX.HTM"},
                                                      {"Gone", "tome://inpack/gone.htm"},
                                                      {"Outside", "https://example.org/"}}));
  EXPECT_EQ(logic->ImportBookmarks(file), 1u);
  EXPECT_THROW(logic->ImportBookmarks(Write("page.html", "<html>")), EBookmarkFileError);
  logic->RenameBookmark(1, "Top of the start page");

  view.position = {"tome://inpack/INDEX.HTM", 0, 300};
  logic->OpenBookmark(0);
  EXPECT_EQ(browser.navigations.back(), "tome://inpack/index.htm#end");
  logic->WebBrowser1DocumentComplete("tome://inpack/index.htm#end");
  EXPECT_EQ(view.scrolledTo, (std::pair{0, 800}));
  logic->OpenBookmark(1);
  EXPECT_EQ(view.scrolledTo, (std::pair{0, 0})) << "the page shown only scrolls";
  logic->DeleteBookmark(0);

  logic = &Started(document);
  ASSERT_EQ(logic->Bookmarks().size(), 1u);
  EXPECT_EQ(logic->Bookmarks()[0].Title, "Top of the start page");
  EXPECT_TRUE(dialogs.information.empty());

  for (const auto& entry : std::filesystem::directory_iterator(folder_ / "data"))
    std::filesystem::resize_file(entry.path(), 100);
  logic = &Started(document);
  EXPECT_TRUE(logic->Bookmarks().empty());
  ASSERT_EQ(dialogs.information.size(), 1u);
  EXPECT_NE(dialogs.information[0].find(".damaged-1.html"), std::string::npos)
      << dialogs.information[0];
}

TEST_F(ReaderBookmarksTest, ALockedDocumentHasNoBookmarksUntilItsPasswordIsGiven) {
  auto locked = FriendlyOptions();
  locked.SetShortStringAt(option_offset::AccessPassword, "Key");
  dialogs.typedPassword = "wrong";
  auto& logic = Started(Document("locked.tlt", locked));
  EXPECT_FALSE(logic.RunShortcut(TShortcut::Bookmark));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "data"));
}

}  // namespace
}  // namespace tomelet::testing
