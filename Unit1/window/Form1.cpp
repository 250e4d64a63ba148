#include "Unit1/window/Form1.h"

#include <gtk/gtk.h>

#include "Unit1/TestTrace.h"

namespace tomelet {
namespace {

constexpr int kMinimumWidth = 200;

}  // namespace

TForm1::TForm1(IApplication& application, IProtocolSession& protocol, TZLBArc2& arc,
               TCommandLine commandLine)
    : application_(application),
      webBrowser_(std::make_unique<TWebHost>()),
      logic_(*this, dialogs_, shell_, *webBrowser_, protocol, arc, std::move(commandLine)) {
  set_title(std::string(kApplicationTitle));
  set_position(Gtk::WIN_POS_CENTER);
  set_icon(ProgramPicture("tomelet-viewer"));
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
  layout_.pack_start(ToolBar1, Gtk::PACK_SHRINK);
  layout_.pack_start(*sidePane_, Gtk::PACK_EXPAND_WIDGET);
  layout_.pack_start(StatusBar1, Gtk::PACK_SHRINK);
  add(layout_);
  layout_.show_all();
  SetBorder(TWindowBorder::Design);
  TraceBrowserEvents();
  dialogs_.SetOwner(this);
}

TForm1::~TForm1() {
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
void TForm1::ConnectDesktop() {
  webBrowser_->OpenWithDefaultProgram = [this](const std::string& fileOrUri) {
    shell_.Open(fileOrUri);
  };
  webBrowser_->AskDownload = [this](const std::string& name) { return dialogs_.AskDownload(name); };
  webBrowser_->ChooseSaveFile =
      [this](const std::string& name) -> std::optional<std::filesystem::path> {
    if (auto file = dialogs_.ChooseSaveFile(name))
      return std::filesystem::path(*file);
    return std::nullopt;
  };
}

void TForm1::Create() {
  logic_.Guarded([this] { logic_.FormCreate(); });
}

void TForm1::Run(void (TForm1Logic::*command)()) {
  logic_.Guarded([this, command] { (logic_.*command)(); });
}

void TForm1::TraceBrowserEvents() {
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

void TForm1::SetOuterSize(int width, int height) {
  width_ = std::max(width, kMinimumWidth);
  height_ = std::max(height, 0);
  ApplySize();
}

// A window of fixed size takes the size of its content, so the content is given that size;
// a sizeable one is merely resized and may shrink down to the minimum width.
void TForm1::ApplySize() {
  if (get_resizable()) {
    layout_.set_size_request(-1, -1);
    set_size_request(kMinimumWidth, -1);
    set_default_size(width_, height_);
    resize(width_, std::max(height_, 1));
  } else {
    set_size_request(-1, -1);
    layout_.set_size_request(width_, height_);
  }
}

void TForm1::CenterOnDesktop() {
  set_position(Gtk::WIN_POS_CENTER);
}

void TForm1::SetBorder(TWindowBorder border) {
  border_ = border;
  set_decorated(border != TWindowBorder::None && border != TWindowBorder::NoneMaximised);
  // Window managers maximise only a window that may change its size.
  set_resizable(border == TWindowBorder::Sizeable || border == TWindowBorder::NoneMaximised);
  if (border == TWindowBorder::NoneMaximised)
    maximize();
  ApplySize();
  ApplyWindowFunctions();
}

void TForm1::ApplyWindowFunctions() {
  auto window = get_window();
  if (!window)
    return;
  const auto kFixedFunctions = Gdk::FUNC_MOVE | Gdk::FUNC_MINIMIZE | Gdk::FUNC_CLOSE;
  const auto kFixedDecorations =
      Gdk::DECOR_BORDER | Gdk::DECOR_TITLE | Gdk::DECOR_MENU | Gdk::DECOR_MINIMIZE;
  if (border_ == TWindowBorder::SingleNoMaximise) {
    window->set_functions(kFixedFunctions);
    window->set_decorations(kFixedDecorations);
  } else if (border_ == TWindowBorder::Design) {
    window->set_functions(kFixedFunctions | Gdk::FUNC_MAXIMIZE);
    window->set_decorations(kFixedDecorations | Gdk::DECOR_MAXIMIZE);
  }
}

void TForm1::on_realize() {
  Gtk::Window::on_realize();
  ApplyWindowFunctions();
}

void TForm1::on_show() {
  Gtk::Window::on_show();
  TestTrace("window", "shown");
}

void TForm1::SetStatusBarVisible(bool visible) {
  StatusBar1.set_visible(visible);
}

void TForm1::SetCaption(const std::string& text) {
  set_title(text);
  TestTrace("title", text);
}

void TForm1::SetApplicationTitle(const std::string& text) {
  dialogs_.SetApplicationTitle(text);
}

void TForm1::SetStatusText(const std::string& text) {
  StatusBar1.remove_all_messages();
  StatusBar1.push(text);
  TestTrace("status", text);
}

void TForm1::CheckTextSize(int size) {
  const std::array<Gtk::RadioMenuItem*, 5> bySize = {&Smallest1, &Smaller1, &Medium1, &Larger1,
                                                     &Largest1};
  if (size < 0 || size >= static_cast<int>(bySize.size()))
    return;
  checkingTextSize_ = true;
  bySize[size]->set_active(true);
  checkingTextSize_ = false;
}

TPagePosition TForm1::PagePosition() {
  const auto [x, y] = webBrowser_->ScrollPosition();
  return {webBrowser_->LocationURL(), x, y};
}

void TForm1::ScrollPage(int x, int y) {
  webBrowser_->ScrollTo(x, y);
}

std::optional<std::pair<int, int>> TForm1::WindowSize() {
  if (fullScreen_ || is_maximized())
    return std::nullopt;
  int width = 0, height = 0;
  get_size(width, height);
  return std::pair{width, height};
}

void TForm1::Close() {
  close();
}

void TForm1::Terminate() {
  terminated_ = application_.Terminate() || terminated_;
}

void TForm1::ProcessMessages() {
  while (gtk_events_pending())
    gtk_main_iteration_do(FALSE);
}

void TForm1::Sleep(std::chrono::milliseconds duration) {
  g_usleep(static_cast<gulong>(duration.count()) * 1000);
}

bool TForm1::on_delete_event(GdkEventAny*) {
  if (closing_)
    return true;
  closing_ = true;
  // The window goes at once: the blank page that lets the document go may take seconds while
  // the engine is busy with a large entry.
  hide();
  logic_.Guarded([this] { logic_.FormClose(); });
  closing_ = false;
  if (application_.Terminate())
    terminated_ = true;
  else
    show();
  return true;
}

}  // namespace tomelet
