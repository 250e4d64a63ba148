// The shelf window: a tab of the shelf (its search and its documents) and tabs of the documents
// opened from it, the title following the tab shown, the tabs kept for the next run. Esc never
// closes it.
#pragma once

#include <gtkmm.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shelf/Shelf.h"
#include "shelf/window/DocumentTab.h"
#include "shelf/window/ShelfFrame.h"
#include "shelf/window/ShelfPage.h"

namespace tomelet::shelf {

class TShelfWindow final : public Gtk::ApplicationWindow, public IShelfFrame {
 public:
  explicit TShelfWindow(std::unique_ptr<TShelf> shelf);
  ~TShelfWindow() override;

  TShelf& Shelf() { return *shelf_; }
  // Reopens the tabs the reader left, or one tab of the shelf.
  void RestoreTabs();
  // Shows a tab of the shelf with text searched; a sole keyword equal to it opens at once.
  void SearchFor(const std::string& text);
  void NewShelfTab();

  Gtk::Window& Window() override { return *this; }
  TDialogs& Dialogs() override { return dialogs_; }
  void CaptionChanged() override;
  void CloseTab(Gtk::Widget& widget) override;
  bool IsFullScreen() const override { return fullScreen_; }
  void ToggleFullScreen() override;
  void OpenDocument(const std::filesystem::path& document, const std::string& address,
                    bool show) override;

 protected:
  bool on_key_press_event(GdkEventKey* key) override;
  bool on_delete_event(GdkEventAny* event) override;
  bool on_window_state_event(GdkEventWindowState* event) override;

 private:
  void AddTab(std::unique_ptr<Gtk::Widget> content, bool show);
  Gtk::Widget& TabLabel(Gtk::Widget& content);
  std::string CaptionOf(Gtk::Widget* content) const;
  Gtk::Widget* Current() const;
  TShelfPage& ShownShelfPage();
  bool HandleWindowKey(guint keyval, guint modifiers);
  void ShowTab(int index);
  void RemoveTab(Gtk::Widget& widget);
  void RememberTabs();

  TDialogs dialogs_;
  // Carries the shelf's changes from its watching thread; it outlives the shelf that emits it.
  Glib::Dispatcher shelfChanged_;
  std::unique_ptr<TShelf> shelf_;
  Gtk::Notebook tabs_;
  std::vector<std::unique_ptr<Gtk::Widget>> contents_;
  bool fullScreen_ = false;
  bool closing_ = false;
};

}  // namespace tomelet::shelf
