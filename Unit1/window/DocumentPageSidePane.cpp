// The page's part of the side pane: the pane beside the page, its button that exists only
// when the document allows Find, and the pages it follows.
#include "Unit1/window/DocumentPage.h"

namespace tomelet {

void TDocumentPage::BuildSidePane() {
  ButtonSidePane.show_all();
  ButtonSidePane.set_no_show_all(true);
  ButtonSidePane.hide();
  sidePane_ = std::make_unique<TSidePaneView>(webBrowser_->Widget());
  sidePane_->Open = [this](const std::string& address) {
    logic_.Guarded([&] { webBrowser_->Navigate(address); });
  };
  sidePane_->Map = [this]() -> std::shared_ptr<const TDocumentMap> {
    auto* map = logic_.DocumentMap();
    return map ? map->Map() : nullptr;
  };
  sidePane_->Outline = [this](const std::string& address) { return logic_.PageOutline(address); };
  webBrowser_->JumpedWithinPage = [this](const std::string& address) {
    sidePane_->PageShown(address);
  };
  auto& events = webBrowser_->Events;
  events.OnDocumentComplete = [this, next = events.OnDocumentComplete](const std::string& url) {
    next(url);
    sidePane_->PageShown(url);
  };
}

void TDocumentPage::ShowSidePane(bool shown) {
  sidePane_->SetShown(shown);
  if (!shown)
    webBrowser_->Widget().child_focus(Gtk::DIR_TAB_FORWARD);
}

}  // namespace tomelet
