#include <algorithm>
#include <chrono>
#include <thread>

#include "Unit1/RememberedPlace.h"
#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

TRememberedPlace FullPlace() {
  TRememberedPlace place = PlaceOfAddress("tome://inpack/guide/a%20b.htm?x=1#part two");
  place.ScrollX = 3;
  place.ScrollY = 1500;
  place.TextSize = 4;
  place.WindowSize = std::pair{1024, 700};
  place.SidePane = true;
  return place;
}

TEST(RememberedPlaceTest, TheStateTextGivesBackThePlaceOfItsOwnDocumentOnly) {
  const auto place = FullPlace();
  EXPECT_EQ(place.Page, "tome://inpack/guide/a%20b.htm?x=1");
  EXPECT_EQ(AddressOfPlace(place), "tome://inpack/guide/a%20b.htm?x=1#part two");
  const auto text = FormatPlace("k1", place);
  EXPECT_EQ(ParsePlace(text, "k1"), place);
  EXPECT_EQ(ParsePlace(text, "k2"), std::nullopt) << "another document's file";

  TRememberedPlace plain = PlaceOfAddress("tome://inpack/index.htm");
  EXPECT_EQ(ParsePlace(FormatPlace("k1", plain), "k1"), plain);
}

TEST(RememberedPlaceTest, DamagedOrForeignTextIsIgnored) {
  const auto text = FormatPlace("k1", FullPlace());
  const auto replaced = [&](const std::string& from, const std::string& to) {
    auto changed = text;
    changed.replace(changed.find(from), from.size(), to);
    return changed;
  };
  const std::vector<std::string> damagedTexts = {std::string(),
                                                 std::string("\0\1\2garbage", 10),
                                                 text.substr(0, text.size() - 1),
                                                 text.substr(0, text.find("page")),
                                                 replaced("tomelet-place 1", "tomelet-place 2"),
                                                 replaced("text-size 4", "text-size 5"),
                                                 replaced("scroll 3 1500", "scroll 3"),
                                                 replaced("window 1024 700", "window 0 700"),
                                                 replaced("scroll 3 1500", "scroll x 1500"),
                                                 replaced("text-size 4", "colour dark"),
                                                 replaced("page tome", "page"),
                                                 "[Desktop Entry]\nName=x\n"};
  for (const auto& damaged : damagedTexts)
    EXPECT_EQ(ParsePlace(damaged, "k1"), std::nullopt) << damaged;
}

TEST(RememberedPlaceTest, TheStartPageWinsOverARememberedPageThatIsGone) {
  const auto place = FullPlace();
  const auto start = std::string("tome://inpack/index.htm");
  EXPECT_EQ(PageToOpen(place, start, [](const std::string&) { return true; }),
            AddressOfPlace(place));
  EXPECT_EQ(PageToOpen(place, start, [](const std::string&) { return false; }), start);
  EXPECT_EQ(PageToOpen(std::nullopt, start, [](const std::string&) { return true; }), start);
}

TEST(RememberedPlaceTest, TheKeyFollowsTheArchiveNotItsName) {
  TArchiveTrailer trailer{0x1234, 3, 2, 550, 4096, 0};
  const auto key = DocumentKey(trailer, 5000);
  EXPECT_EQ(key, DocumentKey(trailer, 5000));
  EXPECT_NE(key, DocumentKey(trailer, 5001));
  trailer.ArchiveCRC = 0x1235;
  EXPECT_NE(key, DocumentKey(trailer, 5000));
  EXPECT_EQ(key.size(), 16u);
}

class PlaceStoreTest : public MainWindowTest {};

TEST_F(PlaceStoreTest, SavesWholeFilesAndIgnoresDamagedOnes) {
  const TPlaceStore store(folder_ / "state" / "tomelet");
  EXPECT_EQ(store.Load("k1"), std::nullopt);
  ASSERT_TRUE(store.Save("k1", FullPlace()));
  EXPECT_EQ(store.Load("k1"), FullPlace());
  auto second = FullPlace();
  second.ScrollY = 7;
  ASSERT_TRUE(store.Save("k1", second));
  EXPECT_EQ(store.Load("k1"), second);
  const auto files =
      std::distance(std::filesystem::directory_iterator(folder_ / "state" / "tomelet"),
                    std::filesystem::directory_iterator());
  EXPECT_EQ(files, 1) << "no temporary file is left behind";

  std::ofstream(folder_ / "state" / "tomelet" / "k1.place", std::ios::trunc)
      << "tomelet-place 1\nkey k1\npa";
  EXPECT_EQ(store.Load("k1"), std::nullopt);
  std::filesystem::resize_file(folder_ / "state" / "tomelet" / "k1.place", 1 << 20);
  EXPECT_EQ(store.Load("k1"), std::nullopt);

  Write("blocker", "a file where the folder should be");
  EXPECT_FALSE(TPlaceStore(folder_ / "blocker" / "tomelet").Save("k1", FullPlace()));
}

class ReopeningTest : public MainWindowTest {
 protected:
  // Opens the document, reads from the page, then closes as the window does.
  TForm1Logic& OpenAndClose(const std::string& document, const std::string& address) {
    browser.navigations.clear();
    auto& logic = Started(document);
    view.position = {address, 0, 900};
    logic.FormClose();
    return logic;
  }
};

TEST_F(ReopeningTest, ADocumentOpensWhereTheReaderLeftItAndADamagedStateFileIsIgnored) {
  auto options = FriendlyOptions();
  const auto document = Document("manual.tlt", options);
  view.windowSize = std::pair{1000, 720};
  OpenAndClose(document, "tome://inpack/index.htm#end");
  EXPECT_EQ(browser.navigations.front(), "tome://inpack/index.htm");

  browser.navigations.clear();
  view.checkedTextSize = 2;
  auto& second = Started(document);
  EXPECT_EQ(browser.navigations.front(), "tome://inpack/index.htm#end");
  EXPECT_EQ(view.width, 1000);
  EXPECT_EQ(view.height, 720);
  second.WebBrowser1DocumentComplete("tome://inpack/index.htm#end");
  EXPECT_EQ(view.scrolledTo, (std::pair{0, 900}));

  for (const auto& entry : std::filesystem::directory_iterator(folder_ / "state"))
    std::ofstream(entry.path(), std::ios::trunc) << "\x7f"
                                                    "ELF damaged";
  browser.navigations.clear();
  Started(document);
  EXPECT_EQ(browser.navigations.front(), "tome://inpack/index.htm");
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(dialogs.information.empty());
}

// Site generators link their pages as folders; such a page is there when its index page is.
TEST_F(ReopeningTest, AFolderAddressIsRememberedByItsIndexPage) {
  const auto document = Document(
      "site.tlt",
      Manual().Entry("guide\\index.html", "<title>Guide</title>").Options(FriendlyOptions()));
  OpenAndClose(document, "tome://inpack/guide/#writing");
  browser.navigations.clear();
  Started(document);
  EXPECT_EQ(browser.navigations.front(), "tome://inpack/guide/#writing");
}

TEST_F(ReopeningTest, TheSidePaneComesBackAsTheReaderLeftItWhereTheDocumentAllowsFind) {
  const auto document = Document("manual.tlt", FriendlyOptions());
  view.position = {"tome://inpack/index.htm", 0, 0};
  auto& first = Started(document);
  EXPECT_TRUE(first.RunShortcut(TShortcut::SidePane));
  first.FormClose();
  view.calls.clear();
  auto& second = Started(document);
  EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "side pane"), 1);
  // The map is read only once the first page has loaded, so the engine's start has the processor.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(second.DocumentMap()->Map(), nullptr);
  second.WebBrowser1DocumentComplete("tome://inpack/index.htm");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!second.DocumentMap()->Map() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_NE(second.DocumentMap()->Map(), nullptr);
  second.ButtonSidePaneClick();
  EXPECT_EQ(view.calls.back(), "no side pane");
  second.FormClose();
  view.calls.clear();
  Started(document);
  EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "side pane"), 0);

  auto noFind = FriendlyOptions();
  noFind.SetBooleanAt(option_offset::AllowFind, false);
  auto& closed = Started(Document("closed.tlt", noFind));
  EXPECT_FALSE(closed.RunShortcut(TShortcut::SidePane));
  closed.ButtonSidePaneClick();
  EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "side pane"), 0);
}

TEST_F(ReopeningTest, AGoneRememberedPageGivesTheStartPageAndAWrongPasswordKeepsNothing) {
  const auto document = Document("manual.tlt", FriendlyOptions());
  OpenAndClose(document, "tome://inpack/gone.htm");
  Started(document);
  EXPECT_EQ(browser.navigations.front(), "tome://inpack/index.htm");

  auto locked = FriendlyOptions();
  locked.SetShortStringAt(option_offset::AccessPassword, "Key");
  const auto lockedDocument = Document("locked.tlt", locked);
  dialogs.typedPassword = "wrong";
  OpenAndClose(lockedDocument, "tome://inpack/index.htm");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_ / "state"),
                          std::filesystem::directory_iterator()),
            1)
      << "only the first document's place";
}

}  // namespace
}  // namespace tomelet::testing
