#include "WebHost/WebHost.h"

#include <gtkmm/widget.h>

#include "WebHost/EngineView.h"
#include "WebHost/SchemeBridge.h"
#include "WebHost/TextSize.h"
#include "WebHost/Urls.h"

namespace tomelet {
HRESULT TDocumentCommands::Exec(const GUID* group, std::uint32_t command, std::uint32_t,
                                std::optional<int> input) {
  if (group && *group == CGID_WebBrowser && command == kFindDialogCommand) {
    view_.ShowFindBar();
    return S_OK;
  }
  if (group || command != OLECMDID_ZOOM)
    return OLECMDERR_E_NOTSUPPORTED;
  if (!input || !TextSizeZoomLevel(*input))
    return E_INVALIDARG;
  view_.SetTextSize(*input);
  return S_OK;
}

TWebHost::TWebHost() : view_(std::make_unique<TEngineView>(*this)) {}

TWebHost::~TWebHost() = default;

Gtk::Widget& TWebHost::Widget() {
  return view_->Widget();
}

Gtk::Widget& TWebHost::Page() {
  return *Glib::wrap(GTK_WIDGET(view_->View()));
}

void TWebHost::SetTemporaryFolder(const std::filesystem::path& folder) {
  view_->SetTemporaryFolder(folder);
}

void TWebHost::UseOwnSession(IInternetSession* session, const std::string& userAgent) {
  AttachSession(view_->View(), session);
  view_->SetOwnUserAgent(userAgent);
}

void TWebHost::Navigate(const std::string& url) {
  if (!IsNavigableUrl(url))
    throw EWebBrowserError(E_INVALIDARG, "Invalid URL: \"" + url + "\"");
  view_->Load(url);
}

void TWebHost::Reload() {
  view_->Reload();
}

std::string TWebHost::LocationURL() const {
  return view_->Address();
}

std::pair<int, int> TWebHost::ScrollPosition() const {
  return view_->ScrollPosition();
}

void TWebHost::ScrollTo(int x, int y) {
  view_->ScrollTo(x, y);
}

bool TWebHost::FindBarOpen() const {
  return view_->FindBarOpen();
}

void TWebHost::CloseFindBar() {
  view_->CloseFindBar();
}

void TWebHost::ShowSearchBar() {
  view_->ShowSearchBar();
}

bool TWebHost::SearchBarOpen() const {
  return view_->SearchBarOpen();
}

void TWebHost::CloseSearchBar() {
  view_->CloseSearchBar();
}

bool TWebHost::SearchMarksShown() const {
  return view_->SearchMarksShown();
}

void TWebHost::ClearSearchMarks() {
  view_->ClearSearchMarks();
}

bool TWebHost::PageIsEditing() const {
  return view_->PageIsEditing();
}

void TWebHost::GoBack() noexcept {
  view_->GoBack();
}

void TWebHost::GoForward() noexcept {
  view_->GoForward();
}

IOleCommandTarget* TWebHost::Document() {
  return view_->Document();
}

void TWebHost::ExecWB(OLECMDID command, OLECMDEXECOPT, std::optional<int> input) {
  switch (command) {
    case OLECMDID_COPY:
      view_->Copy();
      return;
    case OLECMDID_ZOOM:
      if (!input || !TextSizeZoomLevel(*input))
        throw EWebBrowserError(E_INVALIDARG, "The text size must be 0 to 4");
      view_->SetTextSize(*input);
      return;
    case OLECMDID_PRINTPREVIEW:
      if (!view_->Document())
        throw EWebBrowserError(E_UNEXPECTED, "There is no document to print");
      view_->StartPrintPreview();
      return;
    default:
      throw EWebBrowserError(OLECMDERR_E_NOTSUPPORTED, "The browser does not support this command");
  }
}

TUserInterfaceOptions TWebHost::UserInterfaceOptions() const {
  return view_->UserInterfaceOptions();
}

void TWebHost::SetUserInterfaceOptions(TUserInterfaceOptions options) {
  view_->SetUserInterfaceOptions(options);
}

bool TWebHost::Silent() const {
  return view_->Silent();
}

void TWebHost::SetSilent(bool silent) {
  view_->SetSilent(silent);
}

}  // namespace tomelet
