// The side pane beside the page: the document's contents, its keyword index with a filter field,
// and the outline of the page shown, each a tab the keyboard reaches (Alt+C, Alt+I, Alt+O).
#pragma once

#include <gtkmm.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/DocumentMap.h"
#include "search/DocumentMapBuilder.h"

namespace tomelet {

class TSidePaneView final : public Gtk::Paned {
 public:
  // page: the widget shown beside the pane, which keeps the rest of the width.
  explicit TSidePaneView(Gtk::Widget& page);

  // Leads the page to an address of the document.
  std::function<void(const std::string& address)> Open;
  // The document's map; null while it is being read.
  std::function<std::shared_ptr<const TDocumentMap>()> Map;
  std::function<std::vector<search::TOutlineHeading>(const std::string& address)> Outline;

  // Shows the pane with the keyboard in its tab, or hides it.
  void SetShown(bool shown);
  bool HasKeyboard() const;
  // Follows the page the reader reached: its line of the contents and its outline.
  void PageShown(const std::string& address);

 private:
  struct TColumns : Gtk::TreeModelColumnRecord {
    TColumns() {
      add(Title);
      add(Detail);
      add(Address);
      add(Unfilled);
    }
    Gtk::TreeModelColumn<Glib::ustring> Title, Detail;
    Gtk::TreeModelColumn<std::string> Address;
    // A line of the contents whose branch is not added yet: it holds one blank line until opened.
    Gtk::TreeModelColumn<bool> Unfilled;
  };

  void AddTab(Gtk::Widget& content, const std::string& mnemonic);
  static bool TreeKey(Gtk::TreeView& tree, GdkEventKey* key);
  static void SetUpList(Gtk::TreeView& view, const TColumns& columns, bool detail);
  void OpenRow(const Gtk::TreeModel::Path& path, Gtk::TreeView& view);
  void FocusTab();
  bool WaitForMap();
  void FillContents(const TContents& contents);
  void AddContents(const TContents& items, const Gtk::TreeNodeChildren* parent);
  bool FillBranch(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path& path);
  void SelectCurrent();
  void FilterIndex();
  bool IndexKey(GdkEventKey* key);
  void FillOutline();

  TColumns columns_;
  Gtk::Notebook tabs_;
  Gtk::ScrolledWindow contentsScroll_, indexScroll_, outlineScroll_;
  Gtk::TreeView contents_, index_, outline_;
  Glib::RefPtr<Gtk::TreeStore> contentsRows_, outlineRows_;
  Glib::RefPtr<Gtk::ListStore> indexRows_;
  Gtk::Box indexBox_{Gtk::ORIENTATION_VERTICAL};
  Gtk::SearchEntry filter_;
  std::shared_ptr<const TDocumentMap> map_;
  sigc::connection waiting_;
  std::string address_;
};

}  // namespace tomelet
