#include "Unit1/window/SidePaneView.h"

#include <gtk/gtk.h>

#include "Unit1/SidePane.h"
#include "Unit1/TestTrace.h"
#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

constexpr int kPaneWidth = 300;
constexpr auto kMapPollInterval = 100;  // milliseconds
constexpr const char* kReadingMap = "Reading the document's map...";

std::string_view PageOf(std::string_view address) {
  return address.substr(0, address.find('#'));
}

Gtk::TreePath PathOf(const std::vector<std::size_t>& indices) {
  Gtk::TreePath path;
  for (auto index : indices)
    path.push_back(static_cast<int>(index));
  return path;
}

}  // namespace

TSidePaneView::TSidePaneView(Gtk::Widget& page) : Gtk::Paned(Gtk::ORIENTATION_HORIZONTAL) {
  contentsRows_ = Gtk::TreeStore::create(columns_);
  outlineRows_ = Gtk::TreeStore::create(columns_);
  indexRows_ = Gtk::ListStore::create(columns_);
  contents_.set_model(contentsRows_);
  outline_.set_model(outlineRows_);
  index_.set_model(indexRows_);
  SetUpList(contents_, columns_, false);
  SetUpList(outline_, columns_, false);
  SetUpList(index_, columns_, true);
  for (auto* view : {&contents_, &outline_, &index_})
    view->signal_row_activated().connect(
        [this, view](const Gtk::TreeModel::Path& path, Gtk::TreeViewColumn*) {
          OpenRow(path, *view);
        });

  contents_.signal_test_expand_row().connect(sigc::mem_fun(*this, &TSidePaneView::FillBranch),
                                             false);
  for (auto* tree : {&contents_, &outline_})
    tree->signal_key_press_event().connect([tree](GdkEventKey* key) { return TreeKey(*tree, key); },
                                           false);
  contentsScroll_.add(contents_);
  indexScroll_.add(index_);
  outlineScroll_.add(outline_);
  filter_.set_placeholder_text("Type a keyword");
  filter_.signal_changed().connect([this] { FilterIndex(); });
  filter_.signal_activate().connect([this] {
    Gtk::TreeModel::Path path;
    Gtk::TreeViewColumn* column = nullptr;
    index_.get_cursor(path, column);
    if (!path.empty())
      OpenRow(path, index_);
  });
  filter_.signal_key_press_event().connect(sigc::mem_fun(*this, &TSidePaneView::IndexKey), false);
  indexBox_.pack_start(filter_, Gtk::PACK_SHRINK);
  indexBox_.pack_start(indexScroll_, Gtk::PACK_EXPAND_WIDGET);
  AddTab(contentsScroll_, "_Contents");
  AddTab(indexBox_, "_Index");
  AddTab(outlineScroll_, "_Outline");
  tabs_.signal_switch_page().connect([this](Gtk::Widget*, guint) {
    if (tabs_.is_visible())
      Glib::signal_idle().connect_once([this] { FocusTab(); });
  });

  tabs_.set_size_request(kPaneWidth, -1);
  pack1(tabs_, false, false);
  pack2(page, true, false);
  tabs_.show_all();
  tabs_.set_no_show_all(true);
  tabs_.hide();
}

void TSidePaneView::AddTab(Gtk::Widget& content, const std::string& mnemonic) {
  auto* label = Gtk::make_managed<Gtk::Label>(mnemonic, true);
  tabs_.append_page(content, *label);
}

void TSidePaneView::SetUpList(Gtk::TreeView& view, const TColumns& columns, bool detail) {
  view.set_headers_visible(false);
  view.set_enable_search(false);
  view.set_activate_on_single_click(true);
  if (!detail) {
    view.append_column("", columns.Title);
    return;
  }
  // Each term is followed by the title of its page, which tells equal terms apart.
  auto* column = Gtk::make_managed<Gtk::TreeViewColumn>();
  auto* cell = Gtk::make_managed<Gtk::CellRendererText>();
  column->pack_start(*cell);
  column->add_attribute(cell->property_markup(), columns.Detail);
  view.append_column(*column);
}

// Right opens a branch, Left closes it or goes up to the line it belongs to.
bool TSidePaneView::TreeKey(Gtk::TreeView& tree, GdkEventKey* key) {
  const bool right = key->keyval == GDK_KEY_Right, left = key->keyval == GDK_KEY_Left;
  if ((!right && !left) || (key->state & gtk_accelerator_get_default_mod_mask()) != 0)
    return false;
  Gtk::TreeModel::Path path;
  Gtk::TreeViewColumn* column = nullptr;
  tree.get_cursor(path, column);
  if (path.empty())
    return false;
  if (right)
    tree.expand_row(path, false);
  else if (tree.row_expanded(path))
    tree.collapse_row(path);
  else if (path.size() > 1 && path.up())
    tree.set_cursor(path);
  return true;
}

void TSidePaneView::OpenRow(const Gtk::TreeModel::Path& path, Gtk::TreeView& view) {
  const auto row = view.get_model()->get_iter(path);
  if (!row)
    return;
  const std::string address = (*row)[columns_.Address];
  if (address.empty()) {
    if (view.row_expanded(path))
      view.collapse_row(path);
    else
      view.expand_row(path, false);
  } else if (Open) {
    TestTrace("pane", "open " + address);
    Open(address);
  }
}

void TSidePaneView::SetShown(bool shown) {
  tabs_.set_visible(shown);
  TestTrace("pane", shown ? "shown" : "hidden");
  if (!shown)
    return;
  if (!map_ && !waiting_.connected()) {
    contentsRows_->clear();
    (*contentsRows_->append())[columns_.Title] = kReadingMap;
    if (!WaitForMap())
      waiting_ = Glib::signal_timeout().connect([this] { return !WaitForMap(); }, kMapPollInterval);
  }
  FillOutline();
  FocusTab();
}

bool TSidePaneView::HasKeyboard() const {
  return tabs_.get_visible() && tabs_.get_focus_child() != nullptr;
}

void TSidePaneView::FocusTab() {
  switch (tabs_.get_current_page()) {
    case 1:
      return filter_.grab_focus();
    case 2:
      return outline_.grab_focus();
    default:
      return contents_.grab_focus();
  }
}

// True once the map is there and shown.
bool TSidePaneView::WaitForMap() {
  map_ = Map ? Map() : nullptr;
  if (!map_)
    return false;
  FillContents(map_->Contents);
  FilterIndex();
  TestTrace("pane", "map " + std::to_string(map_->Keywords.Size()) + " keywords");
  return true;
}

// A branch's lines are added when it is first opened: a large document's contents run to
// thousands of lines, which would hold the window's thread for a noticeable moment all at once.
void TSidePaneView::FillContents(const TContents& contents) {
  contentsRows_->clear();
  AddContents(contents, nullptr);
  SelectCurrent();
}

void TSidePaneView::AddContents(const TContents& items, const Gtk::TreeNodeChildren* parent) {
  for (const auto& item : items) {
    auto row = parent ? contentsRows_->append(*parent) : contentsRows_->append();
    (*row)[columns_.Title] = item.Title;
    (*row)[columns_.Address] = item.Page.empty() ? "" : MapItemAddress(item.Page, item.Anchor);
    if (!item.Children.empty()) {
      (*row)[columns_.Unfilled] = true;
      contentsRows_->append(row->children());
    }
  }
}

// Runs before a branch opens, whatever opens it (the reader, or the page shown being revealed).
bool TSidePaneView::FillBranch(const Gtk::TreeModel::iterator& row,
                               const Gtk::TreeModel::Path& path) {
  if (!map_ || !(*row)[columns_.Unfilled])
    return false;
  const TContents* items = &map_->Contents;
  for (std::size_t depth = 0; depth < path.size(); ++depth)
    items = &(*items)[static_cast<std::size_t>(path[depth])].Children;
  (*row)[columns_.Unfilled] = false;
  const auto blank = row->children().begin();
  AddContents(*items, &row->children());
  contentsRows_->erase(blank);
  return false;
}

void TSidePaneView::PageShown(const std::string& address) {
  if (!HasDocumentPrefix(address))
    return;
  const bool samePage = PageOf(address) == PageOf(address_);
  address_ = address;
  if (!tabs_.get_visible())
    return;
  SelectCurrent();
  if (!samePage)
    FillOutline();
}

void TSidePaneView::SelectCurrent() {
  if (!map_)
    return;
  const auto indices = CurrentContentsItem(map_->Contents, address_);
  if (indices.empty()) {
    contents_.get_selection()->unselect_all();
    return;
  }
  const auto path = PathOf(indices);
  contents_.expand_to_path(path);
  contents_.set_cursor(path);
  contents_.scroll_to_row(path);
  const Glib::ustring title = (*contentsRows_->get_iter(path))[columns_.Title];
  TestTrace("contents", title.raw());
}

void TSidePaneView::FilterIndex() {
  if (!map_)
    return;
  const auto matches = map_->Keywords.Lookup(filter_.get_text().raw(), kListedKeywords);
  index_.unset_model();
  indexRows_->clear();
  for (const auto& keyword : matches) {
    auto row = *indexRows_->append();
    row[columns_.Title] = keyword.Term;
    row[columns_.Detail] = Glib::Markup::escape_text(keyword.Term) +
                           "  <span foreground=\"#808080\">" +
                           Glib::Markup::escape_text(keyword.PageTitle) + "</span>";
    row[columns_.Address] = MapItemAddress(keyword.Page, keyword.Anchor);
  }
  index_.set_model(indexRows_);
  if (!matches.empty())
    index_.set_cursor(Gtk::TreePath("0"));
  TestTrace("index", matches.empty() ? "no match" : matches.front().Term);
}

// Up and down in the filter field move in the list, so that Enter opens the chosen line.
bool TSidePaneView::IndexKey(GdkEventKey* key) {
  const int step = key->keyval == GDK_KEY_Down ? 1 : key->keyval == GDK_KEY_Up ? -1 : 0;
  const int rows = static_cast<int>(indexRows_->children().size());
  if (step == 0 || rows == 0)
    return false;
  Gtk::TreeModel::Path path;
  Gtk::TreeViewColumn* column = nullptr;
  index_.get_cursor(path, column);
  const int current = path.empty() ? 0 : path[0];
  const int next = std::clamp(current + step, 0, rows - 1);
  const Gtk::TreePath nextPath(std::to_string(next));
  index_.set_cursor(nextPath);
  index_.scroll_to_row(nextPath);
  return true;
}

void TSidePaneView::FillOutline() {
  outlineRows_->clear();
  if (!Outline || address_.empty())
    return;
  const std::string page(PageOf(address_));
  std::vector<std::pair<int, Gtk::TreeRow>> open;  // the nearest heading of each higher level
  const auto headings = Outline(address_);
  for (const auto& heading : headings) {
    while (!open.empty() && open.back().first >= heading.Level)
      open.pop_back();
    auto row = open.empty() ? *outlineRows_->append()
                            : *outlineRows_->append(open.back().second.children());
    row[columns_.Title] = heading.Title;
    row[columns_.Address] =
        heading.Anchor.empty() ? page : MapItemAddress(UrlToArchivePath(page), heading.Anchor);
    open.emplace_back(heading.Level, row);
  }
  outline_.expand_all();
  TestTrace("outline", std::to_string(headings.size()) + " headings");
}

}  // namespace tomelet
