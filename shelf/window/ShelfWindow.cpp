#include "shelf/window/ShelfWindow.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "Unit1/TestTrace.h"

namespace tomelet::shelf {
namespace {

constexpr int kDefaultWidth = 1100;
constexpr int kDefaultHeight = 760;
constexpr int kLabelCharacters = 24;
constexpr const char* kShelfTabLabel = "Library";

}  // namespace

TShelfWindow::TShelfWindow(std::unique_ptr<TShelf> shelf) : shelf_(std::move(shelf)) {
  set_title(std::string(kShelfCaption));
  set_icon(ProgramPicture("tomelet-viewer"));
  set_default_size(kDefaultWidth, kDefaultHeight);
  tabs_.set_scrollable(true);
  tabs_.signal_switch_page().connect([this](Gtk::Widget*, guint) {
    Glib::signal_idle().connect_once([this] { CaptionChanged(); });
  });
  add(tabs_);
  tabs_.show();
  dialogs_.SetOwner(this);
  shelfChanged_.connect([this] {
    for (const auto& content : contents_)
      if (auto* page = dynamic_cast<TShelfPage*>(content.get()))
        page->ShelfChanged();
  });
  shelf_->Watch([this] { shelfChanged_.emit(); });
}

TShelfWindow::~TShelfWindow() {
  // The pages go before the notebook that shows them and the shelf they search.
  while (!contents_.empty()) {
    tabs_.remove_page(*contents_.back());
    contents_.pop_back();
  }
}

void TShelfWindow::RestoreTabs() {
  const TShelfSettings settings = shelf_->Settings();
  for (const auto& tab : settings.Tabs) {
    if (tab.Document.empty())
      NewShelfTab();
    else if (std::filesystem::exists(tab.Document))
      OpenDocument(tab.Document, tab.Address, false);
  }
  if (contents_.empty())
    NewShelfTab();
  ShowTab(static_cast<int>(std::min(settings.CurrentTab, contents_.size() - 1)));
}

void TShelfWindow::NewShelfTab() {
  auto page = std::make_unique<TShelfPage>(*shelf_, *this);
  auto& shown = *page;
  AddTab(std::move(page), true);
  shown.FocusSearch();
}

void TShelfWindow::SearchFor(const std::string& text) {
  ShownShelfPage().Search(text, true);
  present();
}

// The shelf tab shown, else the first one, else a new one.
TShelfPage& TShelfWindow::ShownShelfPage() {
  if (auto* page = dynamic_cast<TShelfPage*>(Current()))
    return *page;
  for (std::size_t i = 0; i < contents_.size(); ++i) {
    if (auto* page = dynamic_cast<TShelfPage*>(contents_[i].get())) {
      ShowTab(tabs_.page_num(*page));
      return *page;
    }
  }
  NewShelfTab();
  return dynamic_cast<TShelfPage&>(*Current());
}

void TShelfWindow::OpenDocument(const std::filesystem::path& document, const std::string& address,
                                bool show) {
  auto tab = std::make_unique<TDocumentTab>(*this, document);
  auto& opened = *tab;
  AddTab(std::move(tab), show);
  TestTrace("tab", "opened " + document.string());
  opened.Open(address);
}

void TShelfWindow::AddTab(std::unique_ptr<Gtk::Widget> content, bool show) {
  Gtk::Widget& widget = *content;
  contents_.push_back(std::move(content));
  const int index = tabs_.append_page(widget, TabLabel(widget));
  tabs_.set_tab_reorderable(widget, true);
  widget.show();
  if (show)
    ShowTab(index);
  CaptionChanged();
}

Gtk::Widget& TShelfWindow::TabLabel(Gtk::Widget& content) {
  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::ORIENTATION_HORIZONTAL, 4);
  auto* label = Gtk::make_managed<Gtk::Label>(CaptionOf(&content));
  label->set_ellipsize(Pango::ELLIPSIZE_END);
  label->set_width_chars(kLabelCharacters / 2);
  label->set_max_width_chars(kLabelCharacters);
  auto* close = Gtk::make_managed<Gtk::Button>();
  close->set_image_from_icon_name("window-close-symbolic", Gtk::ICON_SIZE_MENU);
  close->set_relief(Gtk::RELIEF_NONE);
  close->set_focus_on_click(false);
  close->set_tooltip_text("Close Tab (Ctrl+W)");
  close->signal_clicked().connect([this, &content] { CloseTab(content); });
  box->pack_start(*label, Gtk::PACK_EXPAND_WIDGET);
  box->pack_start(*close, Gtk::PACK_SHRINK);
  box->show_all();
  return *box;
}

std::string TShelfWindow::CaptionOf(Gtk::Widget* content) const {
  if (auto* tab = dynamic_cast<TDocumentTab*>(content)) {
    const auto& caption = tab->Page().Caption();
    return caption.empty() ? tab->Document().stem().string() : caption;
  }
  return kShelfTabLabel;
}

Gtk::Widget* TShelfWindow::Current() const {
  return const_cast<Gtk::Notebook&>(tabs_).get_nth_page(tabs_.get_current_page());
}

void TShelfWindow::CaptionChanged() {
  for (const auto& content : contents_) {
    if (auto* box = dynamic_cast<Gtk::Box*>(tabs_.get_tab_label(*content))) {
      const auto children = box->get_children();
      if (auto* label = children.empty() ? nullptr : dynamic_cast<Gtk::Label*>(children.front()))
        label->set_text(CaptionOf(content.get()));
    }
  }
  Gtk::Widget* current = Current();
  const std::string title =
      dynamic_cast<TDocumentTab*>(current) ? CaptionOf(current) : std::string(kShelfCaption);
  if (get_title() != title) {
    set_title(title);
    TestTrace("title", title);
  }
}

void TShelfWindow::ShowTab(int index) {
  if (index < 0 || index >= tabs_.get_n_pages())
    return;
  tabs_.set_current_page(index);
  if (auto* page = dynamic_cast<TShelfPage*>(Current()))
    page->FocusSearch();
  else if (auto* tab = dynamic_cast<TDocumentTab*>(Current()))
    tab->Page().WebBrowser1().Page().grab_focus();
  CaptionChanged();
}

// A tab goes once the handler that asked has returned: the page asking may be inside its own
// event.
void TShelfWindow::CloseTab(Gtk::Widget& widget) {
  Glib::signal_idle().connect_once([this, &widget] { RemoveTab(widget); });
}

void TShelfWindow::RemoveTab(Gtk::Widget& widget) {
  const auto found = std::find_if(contents_.begin(), contents_.end(),
                                  [&](const auto& content) { return content.get() == &widget; });
  if (found == contents_.end())
    return;
  if (auto* tab = dynamic_cast<TDocumentTab*>(&widget))
    tab->Finish();
  tabs_.remove_page(widget);
  contents_.erase(found);
  TestTrace("tab", "closed, " + std::to_string(contents_.size()) + " left");
  if (contents_.empty() && !closing_)
    close();
  else
    CaptionChanged();
}

void TShelfWindow::ToggleFullScreen() {
  if (fullScreen_)
    unfullscreen();
  else
    fullscreen();
}

bool TShelfWindow::on_window_state_event(GdkEventWindowState* event) {
  fullScreen_ = (event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
  return Gtk::ApplicationWindow::on_window_state_event(event);
}

bool TShelfWindow::on_key_press_event(GdkEventKey* key) {
  const guint modifiers = key->state & gtk_accelerator_get_default_mod_mask();
  const guint keyval = gdk_keyval_to_lower(key->keyval);
  if (HandleWindowKey(keyval, modifiers))
    return true;
  if (auto* tab = dynamic_cast<TDocumentTab*>(Current()); tab && tab->Page().HandleKey(key))
    return true;
  return Gtk::ApplicationWindow::on_key_press_event(key);
}

// The keys of the tabs, as browsers have them; they come before the page's own.
bool TShelfWindow::HandleWindowKey(guint keyval, guint modifiers) {
  if (modifiers != GDK_CONTROL_MASK)
    return false;
  const int count = tabs_.get_n_pages();
  const int current = tabs_.get_current_page();
  switch (keyval) {
    case GDK_KEY_t:
      NewShelfTab();
      return true;
    case GDK_KEY_k:
    case GDK_KEY_l:
      ShownShelfPage().FocusSearch();
      return true;
    case GDK_KEY_w:
      if (Gtk::Widget* shown = Current())
        CloseTab(*shown);
      return true;
    case GDK_KEY_q:
      close();
      return true;
    case GDK_KEY_Page_Up:
      ShowTab((current + count - 1) % count);
      return true;
    case GDK_KEY_Page_Down:
      ShowTab((current + 1) % count);
      return true;
    default:
      break;
  }
  if (keyval >= GDK_KEY_1 && keyval <= GDK_KEY_9) {
    // Ctrl+9 is the last tab, however many there are.
    ShowTab(keyval == GDK_KEY_9 ? count - 1 : static_cast<int>(keyval - GDK_KEY_1));
    return true;
  }
  return false;
}

void TShelfWindow::RememberTabs() {
  std::vector<TShelfTab> tabs;
  for (int i = 0; i < tabs_.get_n_pages(); ++i) {
    if (auto* tab = dynamic_cast<TDocumentTab*>(tabs_.get_nth_page(i)))
      tabs.push_back({tab->Document().string(), tab->Address()});
    else
      tabs.push_back({});
  }
  const auto current = static_cast<std::size_t>(std::max(tabs_.get_current_page(), 0));
  shelf_->ChangeSettings([&](TShelfSettings& settings) {
    settings.Tabs = tabs;
    settings.CurrentTab = current;
  });
}

// The window goes at once; each document then lets go as its own window would.
bool TShelfWindow::on_delete_event(GdkEventAny* event) {
  if (closing_)
    return true;
  closing_ = true;
  RememberTabs();
  hide();
  for (const auto& content : contents_)
    if (auto* tab = dynamic_cast<TDocumentTab*>(content.get()))
      tab->Finish();
  return Gtk::ApplicationWindow::on_delete_event(event);
}

}  // namespace tomelet::shelf
