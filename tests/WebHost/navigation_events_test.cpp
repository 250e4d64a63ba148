#include <algorithm>

#include "tests/WebHost/HostFixture.h"
#include "tests/support/gui/LoopbackHttpServer.h"

namespace tomelet::testing {
namespace {

using NavigationEventsTest = HostFixture;

// The engine names the page whenever it has read the title, before or after the load completes.
TEST_F(NavigationEventsTest, APageRaisesBeforeNavigateThenDocumentCompleteAndItsTitle) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  ASSERT_TRUE(PumpUntil([&] { return HasEvent("title Start page"); }));
  const auto before = IndexOf(std::string("before ") + kStartPage);
  EXPECT_LT(before, IndexOf(std::string("complete ") + kStartPage));
  EXPECT_LT(before, IndexOf("title Start page"));
}

TEST_F(NavigationEventsTest, AMissingImageOfAPageIsNoNavigationError) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  PumpFor(200ms);
  EXPECT_TRUE(
      std::ranges::none_of(events_, [](const std::string& e) { return e.starts_with("error"); }));
}

TEST_F(NavigationEventsTest, AMissingPageReportsStatus404AfterBeforeNavigate) {
  const std::string missing = "tome://inpack/missing.htm";
  host_->Navigate(missing);
  ASSERT_TRUE(PumpUntil([&] { return HasEvent("error " + missing + " 404"); }));
  EXPECT_LT(IndexOf("before " + missing), IndexOf("error " + missing + " 404"));
}

TEST_F(NavigationEventsTest, DocumentIsThereOnlyOnceAPageHasCommitted) {
  EXPECT_EQ(host_->Document(), nullptr);
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_NE(host_->Document(), nullptr);
}

TEST_F(NavigationEventsTest, BackAndForwardStatesFollowTheHistory) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_EQ(LastCommandState(CSC_NAVIGATEBACK), false);
  ASSERT_TRUE(NavigateAndWait(kSecondPage));
  EXPECT_EQ(LastCommandState(CSC_NAVIGATEBACK), true);
  EXPECT_EQ(LastCommandState(CSC_NAVIGATEFORWARD), false);

  const auto completes = std::ranges::count(events_, std::string("complete ") + kStartPage);
  host_->GoBack();
  ASSERT_TRUE(PumpUntil([&] {
    return std::ranges::count(events_, std::string("complete ") + kStartPage) > completes;
  }));
  EXPECT_EQ(LastCommandState(CSC_NAVIGATEBACK), false);
  EXPECT_EQ(LastCommandState(CSC_NAVIGATEFORWARD), true);
}

TEST_F(NavigationEventsTest, GoBackAtTheStartOfTheHistoryDoesNothing) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  const auto eventCount = events_.size();
  host_->GoBack();
  PumpFor(300ms);
  EXPECT_EQ(events_.size(), eventCount);
  EXPECT_STREQ(webkit_web_view_get_uri(View()), kStartPage);
}

TEST_F(NavigationEventsTest, ACancelInBeforeNavigateKeepsThePage) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  host_->Events.OnBeforeNavigate2 = [this](std::string& url, TNavigationCause, bool& cancel) {
    events_.push_back("before " + url);
    cancel = url.find("second") != std::string::npos;
  };
  Evaluate("document.getElementById('next').click(); 'clicked'");
  ASSERT_TRUE(PumpUntil([&] { return HasEvent(std::string("before ") + kSecondPage); }));
  PumpFor(300ms);
  EXPECT_FALSE(HasEvent(std::string("complete ") + kSecondPage));
  EXPECT_EQ(Evaluate("document.title"), "Start page");
}

TEST_F(NavigationEventsTest, ARewrittenUrlDoesNotRedirectTheEngine) {
  host_->Events.OnBeforeNavigate2 = [](std::string& url, TNavigationCause, bool&) {
    url = kSecondPage;
  };
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_EQ(Evaluate("document.title"), "Start page");
}

TEST_F(NavigationEventsTest, WindowCloseFromAScriptRaisesWindowClosingAfterNavigating) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  ASSERT_TRUE(NavigateAndWait(kSecondPage));
  Evaluate("window.close(); 'asked'");
  EXPECT_TRUE(PumpUntil([&] { return HasEvent("closing"); }));
}

TEST_F(NavigationEventsTest, BlankPageCompletesAsTheCloseHandshakeNeeds) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_TRUE(NavigateAndWait("about:blank"));
}

TEST_F(NavigationEventsTest, UrlsTheEngineCannotTakeAreRefused) {
  for (const std::string url : {"", "index.htm"}) {
    try {
      host_->Navigate(url);
      ADD_FAILURE() << "accepted \"" << url << "\"";
    } catch (const EWebBrowserError& error) {
      EXPECT_EQ(error.Code, E_INVALIDARG);
    }
  }
}

TEST_F(NavigationEventsTest, ThePageFragmentNeverReachesTheProtocolHandler) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/index.htm#part"));
  EXPECT_EQ(Evaluate("document.title"), "Start page");
  ASSERT_TRUE(NavigateAndWait("tome://inpack/index.htm?x=1#part"));
  const auto started = document_->StartedUrls();
  EXPECT_NE(std::ranges::find(started, "tome://inpack/index.htm?x=1"), started.end());
  EXPECT_TRUE(std::ranges::none_of(
      started, [](const std::string& url) { return url.find('#') != std::string::npos; }));
}

TEST_F(NavigationEventsTest, PagesOfTheDocumentMayFetchEachOther) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_EQ(CallAsync("const reply = await fetch('second.htm');"
                      "return reply.status + ' ' + reply.headers.get('Content-Type') + ' ' +"
                      "  (await reply.text()).includes('Second page');"),
            "200 text/html; charset=utf-8 true");
  // A page that names no charset of its own is read as the UTF-8 it is, as served.
  EXPECT_EQ(Evaluate("document.characterSet"), "UTF-8");
  EXPECT_EQ(CallAsync("try { await fetch('missing.htm'); return 'fetched'; }"
                      "catch (error) { return 'failed'; }"),
            "failed");
}

TEST_F(NavigationEventsTest, AnExtensionlessPageIsShownAsAPage) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/readme"));
  EXPECT_EQ(Evaluate("document.title"), "Read me");
}

// Whatever asked for it, such a file is saved or opened only as the reader answers, each time.
TEST_F(NavigationEventsTest, AFileTheEngineCannotShowIsSavedOrOpenedAsTheReaderChooses) {
  std::vector<std::string> asked;
  TDownloadChoice answer = TDownloadChoice::Open;
  host_->AskDownload = [&](const std::string& name) {
    asked.push_back(name);
    return answer;
  };
  const auto saved = folder_ / "saved.zip";
  host_->ChooseSaveFile = [&](const std::string&) { return std::optional{saved}; };
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  for (int time = 1; time <= 2; ++time) {
    host_->Navigate("tome://inpack/files/setup.zip");
    ASSERT_TRUE(PumpUntil([&] { return opened_.size() == static_cast<std::size_t>(time); }));
    EXPECT_EQ(std::filesystem::path(opened_.back()).filename(), "setup.zip");
    EXPECT_TRUE(std::filesystem::exists(opened_.back()));
  }
  answer = TDownloadChoice::Save;
  host_->Navigate("tome://inpack/files/setup.zip?x#y");
  ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(saved); }));
  EXPECT_EQ(std::filesystem::file_size(saved), 16u);
  answer = TDownloadChoice::Cancel;
  host_->Navigate("tome://inpack/files/setup.zip");
  ASSERT_TRUE(PumpUntil([&] { return asked.size() == 4; }));
  EXPECT_EQ(asked, std::vector<std::string>(4, "setup.zip"));
  EXPECT_EQ(opened_.size(), 2u);
  EXPECT_EQ(Evaluate("document.title"), "Start page");
  EXPECT_TRUE(
      std::ranges::none_of(events_, [](const std::string& e) { return e.starts_with("error"); }));
}

// Mail and other schemes of the desktop leave the page as it is; a script alone opens nothing.
TEST_F(NavigationEventsTest, AScriptCannotHandAnAddressToTheDesktop) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/mail.htm"));
  ASSERT_TRUE(PumpUntil([&] { return HasEvent("before mailto:reader@example.org"); }));
  ASSERT_TRUE(NavigateAndWait(kSecondPage));
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(
      std::ranges::none_of(events_, [](const std::string& e) { return e.starts_with("error"); }));
}

// A page's new windows open in this view, whether a click or a script asked for them, with the
// settings the viewer runs with.
TEST_F(NavigationEventsTest, NewWindowsOpenInThisViewWithOneBeforeNavigate) {
  for (const std::string opener :
       {"document.getElementById('blank').click()", "window.open('second.htm')",
        "window.open('second.htm', 'named', 'width=300')"}) {
    SCOPED_TRACE(opener);
    ASSERT_TRUE(NavigateAndWait(kStartPage));
    events_.clear();
    Evaluate(opener + "; 'opened'");
    ASSERT_TRUE(PumpUntil([&] { return HasEvent(std::string("complete ") + kSecondPage); }));
    EXPECT_EQ(std::ranges::count(events_, std::string("before ") + kSecondPage), 1);
    EXPECT_EQ(Evaluate("document.title"), "Second page");
  }
}

TEST_F(NavigationEventsTest, AHandlerMayNavigateAndWaitFromInsideBeforeNavigate) {
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  bool closed = false;
  host_->Events.OnBeforeNavigate2 = [&](std::string& url, TNavigationCause, bool& cancel) {
    if (url != "about:close")
      return;
    cancel = true;
    closed = static_cast<bool>(NavigateAndWait("about:blank"));
  };
  host_->Navigate("about:close");
  EXPECT_TRUE(PumpUntil([&] { return closed; }));
}

TEST_F(NavigationEventsTest, AServerErrorForThePageReportsItsStatus) {
  const TLoopbackHttpServer server(404, "Not Found");
  const std::string url = server.Url("gone.htm");
  ASSERT_TRUE(NavigateAndWait(url));
  EXPECT_EQ(std::ranges::count(events_, "error " + url + " 404"), 1);
  EXPECT_EQ(Evaluate("document.title"), "Server says 404");
}

TEST_F(NavigationEventsTest, ACancelledServerErrorKeepsThePreviousPage) {
  const TLoopbackHttpServer server(500, "Internal Server Error");
  const std::string url = server.Url("broken.htm");
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  host_->Events.OnNavigateError = [this](const std::string& failed, int status, bool& cancel) {
    events_.push_back("error " + failed + " " + std::to_string(status));
    cancel = true;
  };
  host_->Navigate(url);
  ASSERT_TRUE(PumpUntil([&] { return HasEvent("error " + url + " 500"); }));
  PumpFor(300ms);
  EXPECT_EQ(std::ranges::count(events_, "error " + url + " 500"), 1);
  EXPECT_EQ(Evaluate("document.title"), "Start page");
}

}  // namespace
}  // namespace tomelet::testing
