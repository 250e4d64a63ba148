// One open document as the reader sees it: tool bar, browser with its side pane, status bar and
// the page's menus, driven by TForm1Logic. The document's own window holds one; the shelf window
// holds one per tab.
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

// What a document page needs of the frame around it: the document's own window, shaped by the
// options, or a tab of the shelf window, whose size and border are the reader's.
class IPageFrame {
 public:
  virtual ~IPageFrame() = default;

  // The window the page is in, which owns its dialogs and menus.
  virtual Gtk::Window& Window() = 0;
  virtual TDialogs& Dialogs() = 0;
  virtual void SetOuterSize(int width, int height) = 0;
  virtual void CenterOnDesktop() = 0;
  virtual void SetBorder(TWindowBorder border) = 0;
  // The page's caption; it shows in the window's title while the page is the one shown.
  virtual void SetCaption(const std::string& text) = 0;
  virtual std::optional<std::pair<int, int>> WindowSize() = 0;
  virtual bool IsFullScreen() const = 0;
  virtual void ToggleFullScreen() = 0;
  // Closes what the page is shown in, as the user would (the window, or the tab).
  virtual void Close() = 0;
  // The page is done: its window ends the program at the next turn, a tab goes.
  virtual void Terminate() = 0;
  // Whether Esc, with nothing on the page left to close, runs Exit: in the document's own window
  // it does; a shelf is never lost to it.
  virtual bool EscapeExits() const = 0;
};

class TDocumentPage final : public Gtk::Box, public IMainWindowView {
 public:
  TDocumentPage(IPageFrame& frame, IProtocolSession& protocol, TZLBArc2& arc,
                TCommandLine commandLine);
  ~TDocumentPage() override;

  // Runs the start-up of the document.
  void Create();
  // Handles a key the window received before the page did; false when it is not the page's.
  bool HandleKey(GdkEventKey* key);
  // Shows the page's context menu at the pointer, after enabling what it enables every time.
  void PopupMenu2Show(const GdkEvent* trigger);
  // Runs one of the logic's commands as the application runs every handler.
  void Run(void (TForm1Logic::*command)());
  // The page title shown now, for a frame that shows several pages.
  const std::string& Caption() const { return caption_; }

  TWebHost& WebBrowser1() { return *webBrowser_; }
  TForm1Logic& Logic() { return logic_; }

  void SetOuterSize(int width, int height) override { frame_.SetOuterSize(width, height); }
  void CenterOnDesktop() override { frame_.CenterOnDesktop(); }
  void SetBorder(TWindowBorder border) override { frame_.SetBorder(border); }
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
  std::optional<std::pair<int, int>> WindowSize() override { return frame_.WindowSize(); }
  void Close() override { frame_.Close(); }
  void Terminate() override { frame_.Terminate(); }
  void ProcessMessages() override;
  void Sleep(std::chrono::milliseconds duration) override;

 private:
  void BuildToolBar();
  // Gives the keyboard to the first button of the tool bar that can be used.
  void FocusToolBar();
  void SetUpToolButton(Gtk::ToolButton& button, const std::string& caption, const std::string& hint,
                       int picture, void (TForm1Logic::*command)());
  void TraceToolButton(Gtk::ToolButton& button);
  void ShowPictureOnly(Gtk::ToolButton& button);
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
  bool HandleEscape(GdkEventKey* key);
  void TraceBrowserEvents();
  void ConnectDesktop();
  bool PaintLogo(const Cairo::RefPtr<Cairo::Context>& cr);

  IPageFrame& frame_;
  TDesktopShell shell_;
  std::unique_ptr<TWebHost> webBrowser_;
  TForm1Logic logic_;
  std::string caption_;

  Gtk::Toolbar ToolBar1;
  std::array<Gtk::Image, 10> pictures_;
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
  bool checkingTextSize_ = false;
};

}  // namespace tomelet
