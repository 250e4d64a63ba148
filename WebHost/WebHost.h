// The browser host: the engine's web view behind the viewer's browser contract, with the "tome"
// scheme served through the session's protocol handlers, a find dialog and a print preview.
#pragma once

#include <gdk/gdk.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "WebHost/HostPolicy.h"
#include "WebHost/WebHostSettings.h"
#include "platform/webbrowser/WebBrowser.h"

namespace Gtk {
class Widget;
}

namespace tomelet {

// Opens a file with the desktop's default program; tests record the call instead.
class IShellOpener {
 public:
  virtual ~IShellOpener() = default;
  virtual void OpenWithDefaultProgram(const std::filesystem::path& file) = 0;
};

std::unique_ptr<IShellOpener> MakeDesktopShellOpener();

class TEngineView;

class TWebHost final : public IWebBrowserHost {
 public:
  // Creates the view without a document; the "tome" scheme is registered with the engine once.
  TWebHost();
  ~TWebHost() override;
  TWebHost(const TWebHost&) = delete;
  TWebHost& operator=(const TWebHost&) = delete;

  // The view, for the window to pack.
  Gtk::Widget& Widget();

  // Where print previews are written; without one the host makes a private folder of its own.
  void SetTemporaryFolder(const std::filesystem::path& folder);
  // Receives downloads the engine cannot show; the desktop's opener by default.
  void SetShellOpener(std::unique_ptr<IShellOpener> opener);

  void Navigate(const std::string& url) override;
  void GoBack() noexcept override;
  void GoForward() noexcept override;
  IOleCommandTarget* Document() override;
  void ExecWB(OLECMDID command, OLECMDEXECOPT option, std::optional<int> input = {}) override;

  TUserInterfaceOptions UserInterfaceOptions() const override;
  void SetUserInterfaceOptions(TUserInterfaceOptions options) override;
  bool Silent() const override;
  void SetSilent(bool silent) override;

  TWebHostSettings Settings;
  // The answers the host gives the page, with the viewer's values.
  THostPolicy HostPolicy = THostPolicy::ForViewer();
  // Shows the window's pop-up menu at the pointer in place of the engine's context menu.
  std::function<void(const GdkEvent* trigger)> PopupMenu;

 private:
  std::unique_ptr<TEngineView> view_;
};

}  // namespace tomelet
