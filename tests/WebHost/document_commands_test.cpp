#include <gtkmm/clipboard.h>

#include <algorithm>
#include <cstdlib>

#include "WebHost/FindBar.h"
#include "WebHost/PrintPreview.h"
#include "tests/WebHost/HostFixture.h"

namespace tomelet::testing {
namespace {

template <class T>
T* ShownWindow() {
  for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
    if (auto* found = dynamic_cast<T*>(window); found && found->get_visible())
      return found;
  }
  return nullptr;
}

class DocumentCommandsTest : public HostFixture {
 protected:
  double TextWidth() {
    return std::atof(
        Evaluate("document.getElementById('t').getBoundingClientRect().width").c_str());
  }

  // The bar above the page, once Find has made it.
  TFindBar* FindBar() {
    for (Gtk::Widget* child : dynamic_cast<Gtk::Container&>(host_->Widget()).get_children())
      if (auto* bar = dynamic_cast<TFindBar*>(child))
        return bar;
    return nullptr;
  }

  std::string Count(TFindBar& bar, const std::string& text, bool matchCase, bool backwards) {
    const std::string before = bar.Count();
    bar.Search(text, matchCase, backwards);
    PumpUntil([&] { return !bar.Count().empty() && bar.Count() != before; }, 3s);
    return bar.Count();
  }
};

TEST_F(DocumentCommandsTest, FindOpensABarThatCountsTheMatchesWhileSteppingThroughThem) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/long.htm"));
  std::vector<std::string> statuses;
  host_->FindStatus = [&](const std::string& status) { statuses.push_back(status); };
  ASSERT_EQ(host_->Document()->Exec(&CGID_WebBrowser, kFindDialogCommand, 0, {}), S_OK);
  auto* bar = FindBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(host_->FindBarOpen());

  // "Paragraph 14" and "Paragraph 140" to "Paragraph 149".
  EXPECT_EQ(Count(*bar, "paragraph 14", false, false), "1 of 11");
  EXPECT_EQ(Count(*bar, "paragraph 14", false, false), "2 of 11");
  EXPECT_EQ(Count(*bar, "paragraph 14", false, true), "1 of 11");
  EXPECT_EQ(Count(*bar, "paragraph 14", false, true), "11 of 11");
  // The current match comes into the page's own viewport, which the bar does not overlap.
  EXPECT_TRUE(PumpUntil(
      [&] {
        return Evaluate(
                   "(function () {"
                   "  const [match] = CSS.highlights.get('tomelet-find-current');"
                   "  const box = match.getBoundingClientRect();"
                   "  return match.startContainer.nodeValue.startsWith('Paragraph 149 ')"
                   "      && box.top >= 0 && box.bottom <= innerHeight;"
                   "})()") == "true";
      },
      5s));
  EXPECT_EQ(Count(*bar, "paragraph 14", true, false), "No matches");
  EXPECT_EQ(Count(*bar, "absent", false, false), "No matches");

  host_->CloseFindBar();
  EXPECT_FALSE(host_->FindBarOpen());
  EXPECT_EQ(statuses.front(), "shown");
  EXPECT_EQ(statuses.back(), "closed");
}

TEST_F(DocumentCommandsTest, TheDocumentAnswersOtherCommandsAsUnsupported) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_EQ(host_->Document()->Exec(&CGID_WebBrowser, 2, 0, {}), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(host_->Document()->Exec(nullptr, OLECMDID_ZOOM, 0, 9), E_INVALIDARG);
}

TEST_F(DocumentCommandsTest, PrintPreviewShowsThePageAsPdfSheetsAndLeavesNoFileBehind) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/long.htm"));
  host_->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_DONTPROMPTUSER);
  ASSERT_TRUE(PumpUntil([] { return ShownWindow<TPrintPreview>() != nullptr; }, 10s));
  auto* preview = ShownWindow<TPrintPreview>();
  EXPECT_GT(preview->PageCount(), 1);
  preview->ShowPage(1);
  EXPECT_EQ(preview->CurrentPage(), 1);
  preview->ShowPage(preview->PageCount() + 5);
  EXPECT_EQ(preview->CurrentPage(), preview->PageCount() - 1);
  EXPECT_TRUE(std::filesystem::is_empty(printFolder_));
}

TEST_F(DocumentCommandsTest, WithoutAFolderGivenThePreviewUsesAPrivateOneThatGoesWithTheHost) {
  Gtk::Window window;
  auto host = std::make_unique<TWebHost>();
  window.add(host->Widget());
  window.show_all();
  bool complete = false;
  host->Events.OnDocumentComplete = [&](const std::string&) { complete = true; };
  host->Navigate(kStartPage);
  ASSERT_TRUE(PumpUntil([&] { return complete; }));
  host->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_DONTPROMPTUSER);
  ASSERT_TRUE(PumpUntil([] { return ShownWindow<TPrintPreview>() != nullptr; }, 10s));
  // The served document points TMP at the test's folder.
  const auto privateFolders = [this] {
    return std::ranges::count_if(std::filesystem::directory_iterator(folder_), [](const auto& e) {
      return e.path().filename().string().starts_with("tomelet-print-");
    });
  };
  EXPECT_EQ(privateFolders(), 1);
  host.reset();
  EXPECT_EQ(privateFolders(), 0);
}

TEST_F(DocumentCommandsTest, PrintPreviewWithoutADocumentFails) {
  EXPECT_THROW(host_->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_DONTPROMPTUSER),
               EWebBrowserError);
}

TEST_F(DocumentCommandsTest, TextSizesChangeTheWidthOfTheText) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  const double medium = TextWidth();
  host_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 4);
  EXPECT_TRUE(PumpUntil([&] { return TextWidth() > medium * 1.3; }));
  host_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 0);
  EXPECT_TRUE(PumpUntil([&] { return TextWidth() < medium * 0.85; }));
}

TEST_F(DocumentCommandsTest, ATextSizeOutsideTheFiveIsRefused) {
  try {
    host_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 5);
    FAIL() << "size 5 accepted";
  } catch (const EWebBrowserError& error) {
    EXPECT_EQ(error.Code, E_INVALIDARG);
  }
  EXPECT_THROW(host_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER), EWebBrowserError);
}

TEST_F(DocumentCommandsTest, CopyPutsTheSelectionOnTheClipboard) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  auto clipboard = Gtk::Clipboard::get();
  clipboard->set_text("stale");
  EXPECT_EQ(Evaluate("(function () {"
                     "  const range = document.createRange();"
                     "  range.selectNodeContents(document.getElementById('t'));"
                     "  getSelection().removeAllRanges();"
                     "  getSelection().addRange(range);"
                     "  return getSelection().toString();"
                     "})()"),
            "Hello tomelet readers");
  host_->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_PROMPTUSER);
  EXPECT_TRUE(PumpUntil([&] { return clipboard->wait_for_text() == "Hello tomelet readers"; }));
}

TEST_F(DocumentCommandsTest, UnknownCommandsAreUnsupported) {
  try {
    host_->ExecWB(OLECMDID_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER);
    FAIL() << "accepted";
  } catch (const EWebBrowserError& error) {
    EXPECT_EQ(error.Code, OLECMDERR_E_NOTSUPPORTED);
  }
}

}  // namespace
}  // namespace tomelet::testing
