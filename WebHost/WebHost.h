// The browser host: the engine's web view behind the viewer's browser contract, with the "tome"
// scheme served through the session's protocol handlers, a find bar and a print preview.
#pragma once

#include <gdk/gdk.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "WebHost/HostPolicy.h"
#include "WebHost/WebHostSettings.h"
#include "platform/webbrowser/WebBrowser.h"

namespace Gtk {
class Widget;
}

namespace tomelet {

// Settings the engine reads once per process, in this program and in the processes it starts;
// to be called before GTK or the engine starts any thread.
void PrepareEngineProcess();

// What the reader does with a file of the document that the engine cannot show.
enum class TDownloadChoice { Save, Open, Cancel };

class TEngineView;
class IInternetSession;

// A page offered as the reader types in the search bar.
struct TSuggestedPage {
  std::string Title;
  std::string Address;
};

// A page of the history that Back or Forward leads to.
struct THistoryPage {
  std::string Title;  // empty when the page had none
  std::string Address;
};

class TWebHost final : public IWebBrowserHost {
 public:
  // Creates the view without a document; the "tome" scheme is registered with the engine once.
  TWebHost();
  ~TWebHost() override;
  TWebHost(const TWebHost&) = delete;
  TWebHost& operator=(const TWebHost&) = delete;

  // The view with its find bar, for the window to pack.
  Gtk::Widget& Widget();
  // The page itself, the widget that takes the keyboard.
  Gtk::Widget& Page();

  // Where print previews are written; without one the host makes a private folder of its own.
  void SetTemporaryFolder(const std::filesystem::path& folder);
  // Serves this view's "tome" requests from a session of its own rather than the process's, and
  // loads its pages with userAgent (empty: the engine's own) rather than the session's: one view
  // of several, each showing its own document.
  void UseOwnSession(IInternetSession* session, const std::string& userAgent);

  void Navigate(const std::string& url) override;
  // Loads the current page again.
  void Reload();
  void GoBack() noexcept override;
  void GoForward() noexcept override;
  // The pages Back (or else Forward) leads to, the nearest first.
  std::vector<THistoryPage> HistoryPages(bool back) const;
  // Goes that many pages back (negative) or forward; nothing without such a page.
  void GoThroughHistory(int steps) noexcept;
  // The history as the engine keeps it, to be resumed in a later session; empty when none.
  std::string HistoryState() const;
  // Before the first page: restores a history that HistoryState gave; a state the engine cannot
  // read is passed over. When the restored current page is address, loads it from there and
  // answers true.
  bool ResumeHistory(const std::string& state, const std::string& address);
  IOleCommandTarget* Document() override;
  void ExecWB(OLECMDID command, OLECMDEXECOPT option, std::optional<int> input = {}) override;

  TUserInterfaceOptions UserInterfaceOptions() const override;
  void SetUserInterfaceOptions(TUserInterfaceOptions options) override;
  bool Silent() const override;
  void SetSilent(bool silent) override;

  // Whether the keyboard is in a field of the page that takes text; such a field gets Esc first.
  bool PageIsEditing() const;
  bool FindBarOpen() const;
  // The address of the page shown, with any anchor, and how far it is scrolled.
  std::string LocationURL() const;
  std::pair<int, int> ScrollPosition() const;
  void ScrollTo(int x, int y);
  // Hides the find bar and gives the keyboard back to the page.
  void CloseFindBar();
  // The search bar above the page, with the keyboard in it.
  void ShowSearchBar();
  bool SearchBarOpen() const;
  void CloseSearchBar();
  // Whether the searched words are marked on a page opened from the results; the marks go with
  // the next navigation or when taken away here.
  bool SearchMarksShown() const;
  void ClearSearchMarks();

  TWebHostSettings Settings;
  // The answers the host gives the page, with the viewer's values.
  THostPolicy HostPolicy = THostPolicy::ForViewer();
  // Hands a file or an address of a scheme the engine cannot show (mailto:, ...) to the desktop's
  // default program. Only addresses the reader clicked or keyed reach it.
  std::function<void(const std::string& fileOrUri)> OpenWithDefaultProgram;
  // Asks the reader what to do with a file of the document the engine cannot show, by its name;
  // without an answer nothing is done with it.
  std::function<TDownloadChoice(const std::string& name)> AskDownload;
  // Where the reader saves such a file, by its name; nothing when the reader cancels.
  std::function<std::optional<std::filesystem::path>(const std::string& name)> ChooseSaveFile;
  // A link the reader clicked with the middle button or with Ctrl, to be opened beside this view;
  // without it such a link opens in this view.
  std::function<void(const std::string& url)> OpenBeside;
  // Shows the window's pop-up menu at the pointer in place of the engine's context menu.
  std::function<void(const GdkEvent* trigger)> PopupMenu;
  // Told the address when the page shown moves to another of its places without loading anything
  // (a link to an anchor, Back or Forward between its anchors), which completes no document.
  std::function<void(const std::string& address)> JumpedWithinPage;
  // Told what the find bar shows: "shown", "closed" or its count ("2 of 4", "No matches").
  std::function<void(const std::string& status)> FindStatus;
  // The HTML of the viewer's own search pages by their address ("tome://search/?q=...").
  std::function<std::string(const std::string& address)> SearchPage;
  // Pages whose titles suit what the reader has typed in the search bar.
  std::function<std::vector<TSuggestedPage>(const std::string& typed)> SuggestPages;
  // Told what the search bar does: "shown", "closed", "suggestions: <titles>", after a result was
  // followed "highlighted <n>" for the places of the searched words marked on its page, and
  // "marks cleared" once those marks are gone.
  std::function<void(const std::string& status)> SearchStatus;

 private:
  std::unique_ptr<TEngineView> view_;
};

}  // namespace tomelet
