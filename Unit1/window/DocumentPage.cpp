#include "Unit1/window/DocumentPage.h"

#include <gtk/gtk.h>

#include "Unit1/TestTrace.h"

namespace tomelet {

TDocumentPage::TDocumentPage(IPageFrame& frame, IProtocolSession& protocol, TZLBArc2& arc,
                             TCommandLine commandLine)
    : Gtk::Box(Gtk::ORIENTATION_VERTICAL),
      frame_(frame),
      webBrowser_(std::make_unique<TWebHost>()),
      logic_(*this, frame.Dialogs(), shell_, *webBrowser_, protocol, arc, std::move(commandLine)) {
  logoPicture_ = ProgramPicture("logo");
  BuildToolBar();
  BuildFontMenu();
  BuildPopupMenu2();
  BuildDocumentSearch();
  BuildBookmarks();
  BuildHistoryMenus();
  BuildSidePane();
  webBrowser_->PopupMenu = [this](const GdkEvent* trigger) { PopupMenu2Show(trigger); };
  ConnectDesktop();
  pack_start(ToolBar1, Gtk::PACK_SHRINK);
  pack_start(*sidePane_, Gtk::PACK_EXPAND_WIDGET);
  pack_start(StatusBar1, Gtk::PACK_SHRINK);
  show_all();
  TraceBrowserEvents();
}

TDocumentPage::~TDocumentPage() {
  logic_.Guarded([this] { logic_.FormDestroy(); });
  // The browser outlives the logic by a moment; nothing it reports then may reach the logic.
  webBrowser_->Events = {};
  webBrowser_->PopupMenu = nullptr;
  webBrowser_->OpenWithDefaultProgram = nullptr;
  webBrowser_->AskDownload = nullptr;
  webBrowser_->ChooseSaveFile = nullptr;
  webBrowser_->JumpedWithinPage = nullptr;
}

// Files and addresses the page cannot show go to the reader's desktop, as the reader chooses.
void TDocumentPage::ConnectDesktop() {
  webBrowser_->OpenWithDefaultProgram = [this](const std::string& fileOrUri) {
    shell_.Open(fileOrUri);
  };
  webBrowser_->AskDownload = [this](const std::string& name) {
    return frame_.Dialogs().AskDownload(name);
  };
  webBrowser_->ChooseSaveFile =
      [this](const std::string& name) -> std::optional<std::filesystem::path> {
    if (auto file = frame_.Dialogs().ChooseSaveFile(name))
      return std::filesystem::path(*file);
    return std::nullopt;
  };
}

void TDocumentPage::Create() {
  logic_.Guarded([this] { logic_.FormCreate(); });
}

void TDocumentPage::Run(void (TForm1Logic::*command)()) {
  logic_.Guarded([this, command] { (logic_.*command)(); });
}

void TDocumentPage::TraceBrowserEvents() {
  if (!TestTraceEnabled())
    return;
  auto& events = webBrowser_->Events;
  events.OnBeforeNavigate2 = [next = events.OnBeforeNavigate2](
                                 std::string& url, TNavigationCause cause, bool& cancel) {
    TestTrace("navigate", url);
    next(url, cause, cancel);
  };
  events.OnDocumentComplete = [next = events.OnDocumentComplete](const std::string& url) {
    TestTrace("complete", url);
    next(url);
  };
  webBrowser_->FindStatus = [](const std::string& status) { TestTrace("find", status); };
  webBrowser_->SearchStatus = [](const std::string& status) { TestTrace("search", status); };
}

void TDocumentPage::SetStatusBarVisible(bool visible) {
  StatusBar1.set_visible(visible);
}

void TDocumentPage::SetCaption(const std::string& text) {
  caption_ = text;
  frame_.SetCaption(text);
}

void TDocumentPage::SetApplicationTitle(const std::string& text) {
  frame_.Dialogs().SetApplicationTitle(text);
}

void TDocumentPage::SetStatusText(const std::string& text) {
  StatusBar1.remove_all_messages();
  StatusBar1.push(text);
  TestTrace("status", text);
}

void TDocumentPage::CheckTextSize(int size) {
  const std::array<Gtk::RadioMenuItem*, 5> bySize = {&Smallest1, &Smaller1, &Medium1, &Larger1,
                                                     &Largest1};
  if (size < 0 || size >= static_cast<int>(bySize.size()))
    return;
  checkingTextSize_ = true;
  bySize[size]->set_active(true);
  checkingTextSize_ = false;
}

TPagePosition TDocumentPage::PagePosition() {
  const auto [x, y] = webBrowser_->ScrollPosition();
  return {webBrowser_->LocationURL(), x, y};
}

void TDocumentPage::ScrollPage(int x, int y) {
  webBrowser_->ScrollTo(x, y);
}

void TDocumentPage::ProcessMessages() {
  while (gtk_events_pending())
    gtk_main_iteration_do(FALSE);
}

void TDocumentPage::Sleep(std::chrono::milliseconds duration) {
  g_usleep(static_cast<gulong>(duration.count()) * 1000);
}

}  // namespace tomelet
