#include <gtkmm/clipboard.h>

#include <algorithm>
#include <cstdlib>

#include "WebHost/FindDialog.h"
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

  std::string FindFeedback(TFindDialog& dialog, const std::string& text, bool matchCase) {
    dialog.Search(text, matchCase, false);
    PumpUntil([&] { return !dialog.Feedback().empty(); });
    return dialog.Feedback();
  }
};

TEST_F(DocumentCommandsTest, FindOpensADialogThatFindsAWordAndSaysWhenThereIsNone) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  ASSERT_EQ(host_->Document()->Exec(&CGID_WebBrowser, kFindDialogCommand, 0, {}), S_OK);
  auto* dialog = ShownWindow<TFindDialog>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(FindFeedback(*dialog, "TOMELET", false), "1 match");
  EXPECT_EQ(FindFeedback(*dialog, "TOMELET", true), "Not found");
  EXPECT_EQ(FindFeedback(*dialog, "absent", false), "Not found");
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
