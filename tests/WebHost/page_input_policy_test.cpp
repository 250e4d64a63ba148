#include "tests/WebHost/PageFixture.h"

namespace tomelet::testing {
namespace {

constexpr const char* kIndex = "tome://inpack/index.htm";

using PageInputTest = PageFixture;

TEST_F(PageInputTest, EveryRightClickShowsOurMenuUnlessItsKindIsLeftToTheEngine) {
  ASSERT_TRUE(NavigateAndWait(kIndex));
  for (const char* id : {"text", "link", "image", "empty"}) {
    const int before = popupMenus_;
    const auto [x, y] = CentreOf(id);
    ClickAt(x, y, 3);
    EXPECT_TRUE(PumpUntil([&] { return popupMenus_ == before + 1; }, 2s)) << id;
  }
  host_->HostPolicy.DisabledPopupMenus = {TIEPopupMenu::rcmImage};
  const auto [x, y] = CentreOf("text");
  ClickAt(x, y, 3);
  EXPECT_EQ(popupMenus_, 4);
  PressKeys("Escape");
}

TEST_F(PageInputTest, CtrlNNeverReachesThePageButItsNeighboursDo) {
  ASSERT_TRUE(NavigateAndWait(kIndex));
  const auto [x, y] = CentreOf("empty");
  ClickAt(x, y, 1);
  ASSERT_TRUE(PumpUntil([this] { return host_->Page().has_focus(); }, 2s));
  for (const char* keys : {"ctrl+n", "ctrl+shift+n", "n", "ctrl+p"})
    PressKeys(keys);
  EXPECT_EQ(Evaluate("keys.filter(function (k) { return /[np]$/.test(k); }).join(' ')"),
            "ctrl+shift+n n ctrl+p");
}

TEST_F(PageInputTest, WheelFirstFocusesThePageThenScrollsIt) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/long.htm"));
  textField_.grab_focus();
  ASSERT_TRUE(PumpUntil([this] { return textField_.has_focus(); }, 1s));
  ClickAt(200, 200, 5);
  EXPECT_TRUE(PumpUntil([this] { return host_->Page().has_focus(); }, 2s));
  PumpFor(300ms);
  EXPECT_EQ(Evaluate("window.scrollY"), "0");
  ClickAt(200, 200, 5);
  EXPECT_TRUE(PumpUntil([this] { return Evaluate("window.scrollY") != "0"; }, 2s));
}

TEST_F(PageInputTest, ComingBackToTheWindowPutsTheFocusBackIntoThePage) {
  ASSERT_TRUE(NavigateAndWait(kIndex));
  host_->Page().grab_focus();
  ASSERT_TRUE(PumpUntil([this] { return host_->Page().has_focus(); }, 2s));
  Gtk::Window other;
  other.show_all();
  other.present();
  ASSERT_TRUE(PumpUntil([&] { return other.is_active(); }, 3s));
  // Whatever took the focus away while the window was inactive, the page gets it back.
  window_->unset_focus();
  window_->present();
  ASSERT_TRUE(PumpUntil([this] { return window_->is_active(); }, 3s));
  EXPECT_TRUE(PumpUntil([this] { return host_->Page().has_focus(); }, 2s));
}

}  // namespace
}  // namespace tomelet::testing
