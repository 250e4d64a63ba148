#include "shelf/window/DocumentTab.h"

#include <stdexcept>

namespace tomelet::shelf {

void TTabProtocol::Register() {
  if (FAILED(CreateInternetSession(session_.ReleaseAndGetAddressOf())) ||
      FAILED(registration_.Register(module_, archive_, session_)))
    throw std::runtime_error("the protocol could not be registered");
  view_->UseOwnSession(session_.Get(), {});
}

void TTabProtocol::Unregister() noexcept {
  registration_.Unregister();
}

void TTabProtocol::SetUserAgent(std::string_view userAgent) {
  view_->UseOwnSession(session_.Get(), std::string(userAgent));
}

// The document's file is the tab's command line, as the program and as its one argument: a
// document that cannot be opened says why and ends the tab, never asking for another file.
TDocumentTab::TDocumentTab(IShelfFrame& frame, std::filesystem::path document)
    : Gtk::Box(Gtk::ORIENTATION_VERTICAL),
      frame_(frame),
      document_(std::move(document)),
      page_(*this, protocol_, arc_, {document_.string(), {document_.string()}}) {
  protocol_.Serve(page_.WebBrowser1());
  page_.WebBrowser1().OpenBeside = [this](const std::string& url) {
    frame_.OpenDocument(document_, url, false);
  };
  pack_start(page_, Gtk::PACK_EXPAND_WIDGET);
  show_all();
}

TDocumentTab::~TDocumentTab() {
  page_.WebBrowser1().OpenBeside = nullptr;
}

void TDocumentTab::Open(const std::string& address) {
  page_.Create();
  if (page_.Logic().StartUrl().empty())
    frame_.CloseTab(*this);
  else if (!address.empty())
    page_.Logic().Guarded([&] { page_.WebBrowser1().Navigate(address); });
}

void TDocumentTab::Finish() {
  if (std::exchange(finished_, true))
    return;
  page_.Logic().Guarded([this] { page_.Logic().FormClose(); });
}

void TDocumentTab::SetCaption(const std::string&) {
  frame_.CaptionChanged();
}

}  // namespace tomelet::shelf
