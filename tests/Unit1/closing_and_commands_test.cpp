#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

using namespace std::chrono_literals;

class ClosingTest : public MainWindowTest {
 protected:
  TForm1Logic& logic = Started(Document("manual.tlt", FriendlyOptions()));
};

TEST_F(ClosingTest, WaitsForTheBlankPageToComplete) {
  int rounds = 0;
  view.onProcessMessages = [&] {
    if (++rounds == 3)
      browser.Events.OnDocumentComplete("about:blank");
  };
  logic.FormClose();

  EXPECT_EQ(browser.navigations.back(), "about:blank");
  EXPECT_EQ(rounds, 3);
  EXPECT_TRUE(logic.DocCompleted());
}

TEST_F(ClosingTest, AnEarlierCompletedPageDoesNotEndTheWait) {
  browser.Events.OnDocumentComplete("tome://inpack/index.htm");
  ASSERT_TRUE(logic.DocCompleted());
  int rounds = 0;
  view.onProcessMessages = [&] {
    if (++rounds == 2)
      browser.Events.OnDocumentComplete("about:blank");
  };
  logic.FormClose();
  EXPECT_EQ(rounds, 2);
}

TEST_F(ClosingTest, GivesUpOnABrowserThatNeverCompletes) {
  const auto start = view.now;
  logic.FormClose();

  EXPECT_FALSE(logic.DocCompleted());
  EXPECT_GE(view.now - start, 5s);
  EXPECT_LE(view.now - start, 5s + 100ms);
}

TEST_F(ClosingTest, ShutDownClosesTheArchiveAndUnregisters) {
  ASSERT_FALSE(arc.ArchiveFileName().empty());
  logic.FormDestroy();
  EXPECT_TRUE(arc.ArchiveFileName().empty());
  EXPECT_EQ(protocol.unregistered, 1);
}

TEST_F(MainWindowTest, ShutDownAfterAnEarlyEndIsSafe) {
  auto& logic = Logic({"a.pdf"});
  logic.FormCreate();
  EXPECT_NO_THROW(logic.FormDestroy());
  EXPECT_EQ(protocol.unregistered, 1);
}

class CommandsTest : public MainWindowTest {
 protected:
  TForm1Logic& logic = Logic({});
};

TEST_F(CommandsTest, TextSizeMovesTheCheckAndZooms) {
  logic.Largest1Click(0);
  EXPECT_EQ(view.checkedTextSize, 0);
  ASSERT_EQ(browser.execs.size(), 1u);
  EXPECT_EQ(browser.execs[0].command, OLECMDID_ZOOM);
  EXPECT_EQ(browser.execs[0].option, OLECMDEXECOPT_DONTPROMPTUSER);
  EXPECT_EQ(browser.execs[0].input, 0);
}

TEST_F(CommandsTest, CopyIsDoneOnlyWhenAllowedAndItsFailureIsQuiet) {
  logic.CopytoClipboard1Click();
  EXPECT_TRUE(browser.execs.empty());

  logic.ProjectOptions().SetBooleanAt(option_offset::AllowCopy, true);
  logic.CopytoClipboard1Click();
  ASSERT_EQ(browser.execs.size(), 1u);
  EXPECT_EQ(browser.execs[0].command, OLECMDID_COPY);
  EXPECT_EQ(browser.execs[0].option, OLECMDEXECOPT_PROMPTUSER);

  browser.refuseExec = true;
  logic.Guarded([&] { logic.CopytoClipboard1Click(); });
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(CommandsTest, ShortcutsOfCommandsTheDocumentForbidsDoNothing) {
  FakeCommandTarget document;
  browser.document = &document;
  for (auto shortcut : {TShortcut::Find, TShortcut::Print, TShortcut::TextLarger,
                        TShortcut::TextSmaller, TShortcut::TextMedium})
    EXPECT_FALSE(logic.RunShortcut(shortcut));
  EXPECT_TRUE(document.commands.empty());
  EXPECT_TRUE(browser.execs.empty());

  EXPECT_TRUE(logic.RunShortcut(TShortcut::Back));
  EXPECT_TRUE(logic.RunShortcut(TShortcut::Exit));
  EXPECT_EQ(browser.back, 1);
  EXPECT_EQ(view.closed, 1);

  logic.ProjectOptions().SetBooleanAt(option_offset::AllowFind, true);
  logic.ProjectOptions().SetBooleanAt(option_offset::AllowPrint, true);
  EXPECT_TRUE(logic.RunShortcut(TShortcut::Find));
  EXPECT_TRUE(logic.RunShortcut(TShortcut::Print));
  EXPECT_EQ(document.commands, std::vector<std::uint32_t>{kFindDialogCommand});
  ASSERT_EQ(browser.execs.size(), 1u);
  EXPECT_EQ(browser.execs[0].command, OLECMDID_PRINTPREVIEW);
}

TEST_F(CommandsTest, TextSizeShortcutsStepWithinTheFiveSizesAndFollowTheMenu) {
  logic.ProjectOptions().SetBooleanAt(option_offset::AllowFontSize, true);
  std::vector<int> sizes;
  const auto press = [&](TShortcut shortcut) {
    ASSERT_TRUE(logic.RunShortcut(shortcut));
    sizes.push_back(view.checkedTextSize);
  };
  for (int i = 0; i < 3; ++i)
    press(TShortcut::TextLarger);
  logic.Largest1Click(1);
  press(TShortcut::TextSmaller);
  press(TShortcut::TextSmaller);
  press(TShortcut::TextMedium);
  EXPECT_EQ(sizes, (std::vector<int>{3, 4, 4, 0, 0, 2}));
  EXPECT_EQ(browser.execs.back().input, 2);
  EXPECT_EQ(logic.TextSize(), 2);
}

TEST(EscapeTest, AFieldBeingEditedComesFirstThenTheFindBarThenSearchMarksThenFullScreen) {
  EXPECT_EQ(EscapeAction(true, true, true, true), TEscapeAction::ToPage);
  EXPECT_EQ(EscapeAction(false, true, true, true), TEscapeAction::CloseFindBar);
  EXPECT_EQ(EscapeAction(false, false, true, true), TEscapeAction::ClearSearchMarks);
  EXPECT_EQ(EscapeAction(false, false, false, true), TEscapeAction::LeaveFullScreen);
  EXPECT_EQ(EscapeAction(false, false, false, false), TEscapeAction::Exit);
}

TEST_F(CommandsTest, ContextMenuEnablesCopyEveryTime) {
  view.enabled[TFormControl::CopytoClipboard1] = false;
  logic.PopupMenu2Popup();
  EXPECT_TRUE(view.enabled.at(TFormControl::CopytoClipboard1));
}

TEST_F(CommandsTest, PrintShowsThePreviewAndItsFailureReachesTheErrorBox) {
  logic.ButtonPrintClick();
  ASSERT_EQ(browser.execs.size(), 1u);
  EXPECT_EQ(browser.execs[0].command, OLECMDID_PRINTPREVIEW);
  EXPECT_EQ(browser.execs[0].option, OLECMDEXECOPT_DONTPROMPTUSER);

  browser.refuseExec = true;
  logic.Guarded([&] { logic.ButtonPrintClick(); });
  EXPECT_EQ(dialogs.errors, std::vector<std::string>{"command refused"});
}

TEST_F(CommandsTest, FindNeedsADocument) {
  logic.ButtonSearchClick();

  FakeCommandTarget document;
  browser.document = &document;
  logic.ButtonSearchClick();
  EXPECT_EQ(document.commands, std::vector<std::uint32_t>{1});
  EXPECT_EQ(document.group, CGID_WebBrowser);

  document.throws = true;
  logic.Guarded([&] { logic.ButtonSearchClick(); });
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(CommandsTest, HomeNavigatesToTheStartPageComputedAgain) {
  logic.ProjectOptions().SetShortStringAt(option_offset::StartPage, "D:\\a\\b:home.htm");
  logic.ButtonHomeClick();
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/home.htm"});
}

TEST_F(CommandsTest, HistoryCommandsAndTheirStates) {
  logic.ButtonBackClick();
  logic.ButtonForwardClick();
  EXPECT_EQ(browser.back, 1);
  EXPECT_EQ(browser.forward, 1);

  browser.Events.OnCommandStateChange(CSC_NAVIGATEBACK, true);
  browser.Events.OnCommandStateChange(CSC_NAVIGATEFORWARD, false);
  browser.Events.OnCommandStateChange(CSC_UPDATECOMMANDS, false);
  EXPECT_TRUE(view.enabled.at(TFormControl::ButtonBack));
  EXPECT_TRUE(view.enabled.at(TFormControl::GoBack1));
  EXPECT_FALSE(view.enabled.at(TFormControl::ButtonForward));
  EXPECT_FALSE(view.enabled.at(TFormControl::GoForward1));
  EXPECT_EQ(view.enabled.size(), 4u);
}

TEST_F(CommandsTest, BrowserEventsReachTheWindow) {
  browser.Events.OnTitleChange("Chapter 2");
  EXPECT_EQ(view.caption, "Chapter 2");
  EXPECT_EQ(view.applicationTitle, "Chapter 2");

  browser.Events.OnStatusTextChange("tome://inpack/ch3.htm");
  EXPECT_EQ(view.statusText, "tome://inpack/ch3.htm");

  bool cancel = false;
  browser.Events.OnNavigateError("tome://inpack/missing.htm", 404, cancel);
  EXPECT_EQ(view.statusText, "404");
  EXPECT_FALSE(cancel);

  browser.Events.OnWindowClosing(false, cancel);
  logic.Exit1Click();
  EXPECT_EQ(view.closed, 2);
}

}  // namespace
}  // namespace tomelet::testing
