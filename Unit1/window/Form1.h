// The main window: tool bar, browser, status bar and the page's context menu, shaped by the
// document's options and driven by TForm1Logic.
#pragma once

#include <gtkmm.h>

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "Unit1/Form1Logic.h"
#include "Unit1/MainWindowView.h"
#include "Unit1/window/Dialogs.h"
#include "Unit1/window/SidePaneView.h"
#include "WebHost/WebHost.h"

namespace tomelet {

class TForm1 final : public Gtk::Window, public IMainWindowView {
 public:
  TForm1(IApplication& application, IProtocolSession& protocol, TZLBArc2& arc,
         TCommandLine commandLine);
  ~TForm1() override;

  // Runs the start-up; afterwards Terminated() says whether the program is to end at once.
  void Create();
  bool Terminated() const { return terminated_; }

  // Shows the page's context menu at the pointer, after enabling what it enables every time.
  void PopupMenu2Show(const GdkEvent* trigger);

  TWebHost& WebBrowser1() { return *webBrowser_; }
  TForm1Logic& Logic() { return logic_; }
  TDialogs& Dialogs() { return dialogs_; }

  void SetOuterSize(int width, int height) override;
  void CenterOnDesktop() override;
  void SetBorder(TWindowBorder border) override;
  void SetToolBarVisible(bool visible) override;
  void SetButtonCaptionsShown(bool shown) override;
  void SetStatusBarVisible(bool visible) override;
  void SetEnabled(TFormControl control, bool enabled) override;
  void SetLogo(std::span<const std::byte> icon) override;
  void SetCaption(const std::string& text) override;
  void SetApplicationTitle(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void CheckTextSize(int size) override;
  void ShowSearchBar() override;
  void ShowSidePane(bool shown) override;
  TPagePosition PagePosition() override;
  std::string HistoryState() override;
  bool ResumeHistory(const std::string& state, const std::string& address) override;
  void ScrollPage(int x, int y) override;
  std::optional<std::pair<int, int>> WindowSize() override;
  void Close() override;
  void Terminate() override;
  void ProcessMessages() override;
  void Sleep(std::chrono::milliseconds duration) override;

 protected:
  bool on_delete_event(GdkEventAny* event) override;
  bool on_key_press_event(GdkEventKey* key) override;
  bool on_key_release_event(GdkEventKey* key) override;
  bool on_window_state_event(GdkEventWindowState* event) override;
  void on_realize() override;
  void on_show() override;

 private:
  void BuildToolBar();
  void SetUpToolButton(Gtk::ToolButton& button, const std::string& caption, const std::string& hint,
                       int picture, void (TForm1Logic::*command)());
  void TraceToolButton(Gtk::ToolButton& button);
  void BuildFontMenu();
  void BuildPopupMenu2();
  // The Search command: its button beside Find, its menu item and the engine's search pages.
  void BuildDocumentSearch();
  // The side pane beside the page, its button, and the page it follows.
  void BuildSidePane();
  void SetUpMenuItem(Gtk::MenuItem& item, void (TForm1Logic::*command)());
  // The Bookmarks menu: its tool button before Exit, and its items in the page's menu.
  void BuildBookmarks();
  // Fills a bookmarks menu afresh from the document's bookmarks.
  void FillBookmarksMenu(Gtk::Menu& menu);
  // A menu of the bookmarks' titles; choosing one calls choose with its place in the list.
  Gtk::Menu& BookmarkChoices(const std::function<void(std::size_t)>& choose);
  void RenameBookmark(std::size_t index);
  void ImportBookmarks();
  void ExportBookmarks();
  // The menus of Back and Forward: a right click or a long press lists the pages they lead to.
  void BuildHistoryMenus();
  void ShowHistoryMenu(Gtk::ToolButton& button, bool back, const GdkEvent* trigger);
  void ShowShortcut(Gtk::MenuItem& item, guint key, Gdk::ModifierType modifiers);
  bool HandleKey(GdkEventKey* key);
  bool HandleEscape(GdkEventKey* key);
  void ToggleFullScreen();
  void TraceBrowserEvents();
  void ConnectDesktop();
  void ApplySize();
  void ApplyWindowFunctions();
  bool PaintLogo(const Cairo::RefPtr<Cairo::Context>& cr);
  void Run(void (TForm1Logic::*command)());

  IApplication& application_;
  TDialogs dialogs_;
  TDesktopShell shell_;
  std::unique_ptr<TWebHost> webBrowser_;
  TForm1Logic logic_;

  Gtk::Box layout_{Gtk::ORIENTATION_VERTICAL};
  Gtk::Toolbar ToolBar1;
  std::array<Gtk::Image, 9> pictures_;
  Gtk::ToolButton ButtonBack, ButtonForward, ButtonHome, ButtonSearch, ButtonDocumentSearch,
      ButtonSidePane, ButtonPrint, ButtonExit;
  Gtk::ToolButton ButtonBookmarks;
  Gtk::MenuToolButton ButtonFont;
  std::unique_ptr<TSidePaneView> sidePane_;
  Gtk::Statusbar StatusBar1;

  Gtk::Menu PopupMenu1;
  Gtk::RadioMenuItem::Group textSizeGroup_;
  Gtk::RadioMenuItem Largest1{textSizeGroup_, "Largest"};
  Gtk::RadioMenuItem Larger1{textSizeGroup_, "Larger"};
  Gtk::RadioMenuItem Medium1{textSizeGroup_, "Medium"};
  Gtk::RadioMenuItem Smaller1{textSizeGroup_, "Smaller"};
  Gtk::RadioMenuItem Smallest1{textSizeGroup_, "Smallest"};

  Gtk::Menu PopupMenu2;
  Gtk::MenuItem GoBack1{"Go Back"}, GoForward1{"Go Forward"};
  Gtk::SeparatorMenuItem N1;
  Gtk::MenuItem CopytoClipboard1{"Copy to Clipboard"}, Search1{"Find..."},
      DocumentSearch1{"Search..."}, Print1{"Print..."};
  Gtk::SeparatorMenuItem N2;
  Gtk::MenuItem Exit1{"Exit"};
  Gtk::MenuItem Bookmarks1{"Bookmarks"};
  Gtk::Menu bookmarksMenu_, bookmarksSubmenu_, historyMenu_;
  std::vector<Glib::RefPtr<Gtk::GestureLongPress>> historyPresses_;

  std::map<const Gtk::ToolButton*, std::string> tracedPlaces_;
  Glib::RefPtr<Gdk::Pixbuf> logoPicture_;
  std::vector<std::byte> logoIcon_;
  int width_ = 667, height_ = 461;
  TWindowBorder border_ = TWindowBorder::Design;
  bool terminated_ = false;
  bool closing_ = false;
  bool fullScreen_ = false;
  bool checkingTextSize_ = false;
};

}  // namespace tomelet
