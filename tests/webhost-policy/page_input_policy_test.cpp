#include "PageFixture.h"

namespace tomelet::testing {
namespace {

constexpr const char* kIndex = "tome://inpack/index.htm";
constexpr const char* kLong = "tome://inpack/long.htm";

using ContextMenuTest = PageFixture;

TEST_F(ContextMenuTest, EveryRightClickInThePageShowsOurMenu) {
  ASSERT_TRUE(NavigateAndWait(kIndex));
  for (const char* id : {"text", "link", "image", "empty"}) {
    const int before = popupMenus_;
    const auto [x, y] = CentreOf(id);
    ClickAt(x, y, 3);
    EXPECT_TRUE(PumpUntil([&] { return popupMenus_ == before + 1; }, 2s)) << id;
  }
}

TEST_F(ContextMenuTest, AKindLeftToTheEngineDoesNotShowOurMenu) {
  host_->HostPolicy.DisabledPopupMenus = {TIEPopupMenu::rcmImage};
  ASSERT_TRUE(NavigateAndWait(kIndex));
  const auto [imageX, imageY] = CentreOf("image");
  ClickAt(imageX, imageY, 3);
  ASSERT_TRUE(PumpUntil([&] { return popupMenus_ == 1; }, 2s));
  PressKeys("Escape");
  const auto [textX, textY] = CentreOf("text");
  ClickAt(textX, textY, 3);
  PumpFor(300ms);
  EXPECT_EQ(popupMenus_, 1);
  PressKeys("Escape");
}

using CtrlShortcutTest = PageFixture;

TEST_F(CtrlShortcutTest, CtrlNNeverReachesThePageButItsNeighboursDo) {
  ASSERT_TRUE(NavigateAndWait(kIndex));
  const auto [x, y] = CentreOf("empty");
  ClickAt(x, y, 1);
  ASSERT_TRUE(PumpUntil([this] { return host_->Widget().has_focus(); }, 2s));
  PressKeys("ctrl+n");
  PressKeys("ctrl+shift+n");
  PressKeys("n");
  PressKeys("ctrl+p");
  EXPECT_EQ(Evaluate("keys.filter(function(k){return k.slice(-1)==='n'||k.slice(-1)==='p';})"
                     ".join(' ')"),
            "ctrl+shift+n n ctrl+p");
}

using WheelFocusTest = PageFixture;

TEST_F(WheelFocusTest, FirstTurnOnlyFocusesThePageAndTheNextScrolls) {
  ASSERT_TRUE(NavigateAndWait(kLong));
  FocusTextField();
  ASSERT_FALSE(host_->Widget().has_focus());
  WheelDownAt(200, 200);
  EXPECT_TRUE(PumpUntil([this] { return host_->Widget().has_focus(); }, 2s));
  PumpFor(300ms);
  EXPECT_EQ(Evaluate("window.scrollY"), "0");
  WheelDownAt(200, 200);
  EXPECT_TRUE(PumpUntil([this] { return Evaluate("window.scrollY") != "0"; }, 2s));
}

TEST_F(WheelFocusTest, TurnsOverTheFocusedPageScrollAtOnce) {
  ASSERT_TRUE(NavigateAndWait(kLong));
  host_->Widget().grab_focus();
  ASSERT_TRUE(PumpUntil([this] { return host_->Widget().has_focus(); }, 2s));
  WheelDownAt(200, 200);
  EXPECT_TRUE(PumpUntil([this] { return Evaluate("window.scrollY") != "0"; }, 2s));
}

using ActivationFocusTest = PageFixture;

TEST_F(ActivationFocusTest, ComingBackToTheWindowPutsTheFocusBackIntoThePage) {
  ASSERT_TRUE(NavigateAndWait(kIndex));
  host_->Widget().grab_focus();
  ASSERT_TRUE(PumpUntil([this] { return host_->Widget().has_focus(); }, 2s));

  Gtk::Window other;
  other.set_title("Another program");
  other.show_all();
  other.present();
  ASSERT_TRUE(PumpUntil([&] { return other.is_active(); }, 3s));
  // Whatever took the focus away while the window was inactive, the page gets it back.
  window_->unset_focus();
  window_->present();
  ASSERT_TRUE(PumpUntil([this] { return window_->is_active(); }, 3s));
  EXPECT_TRUE(PumpUntil([this] { return host_->Widget().has_focus(); }, 2s));
}

}  // namespace
}  // namespace tomelet::testing
