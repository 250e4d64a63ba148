// What a tab of the shelf window needs of the window around it.
#pragma once

#include <filesystem>
#include <string>

#include "Unit1/window/Dialogs.h"

namespace tomelet::shelf {

class IShelfFrame {
 public:
  virtual ~IShelfFrame() = default;

  virtual Gtk::Window& Window() = 0;
  virtual TDialogs& Dialogs() = 0;
  // A tab's caption changed: its label, and the window's title while it is the tab shown.
  virtual void CaptionChanged() = 0;
  // Closes the tab holding widget, once the handler that asked has returned.
  virtual void CloseTab(Gtk::Widget& widget) = 0;
  virtual bool IsFullScreen() const = 0;
  virtual void ToggleFullScreen() = 0;
  // Opens a document in a new tab, at address ("tome://inpack/...") or, when empty, where the
  // reader left it; the tab is shown when show is set.
  virtual void OpenDocument(const std::filesystem::path& document, const std::string& address,
                            bool show) = 0;
};

}  // namespace tomelet::shelf
