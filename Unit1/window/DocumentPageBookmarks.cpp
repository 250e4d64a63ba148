// The page's part of the bookmarks: the Bookmarks button before Exit and the same menu in the
// page's menu, the title asked for a rename, and the files chosen for import and export.
#include <gtk/gtk.h>

#include "Unit1/TestTrace.h"
#include "Unit1/window/DocumentPage.h"

namespace tomelet {
namespace {

constexpr const char* kBookmarkFilter = "Bookmark Files";

Gtk::MenuItem& AppendItem(Gtk::Menu& menu, const std::string& label,
                          const std::function<void()>& choose) {
  auto* item = Gtk::make_managed<Gtk::MenuItem>(label);
  if (choose)
    item->signal_activate().connect(choose);
  menu.append(*item);
  return *item;
}

std::optional<std::string> ChooseBookmarkFile(Gtk::Window& owner, bool save) {
  Gtk::FileChooserDialog dialog(
      owner, save ? "Export Bookmarks" : "Import Bookmarks",
      save ? Gtk::FILE_CHOOSER_ACTION_SAVE : Gtk::FILE_CHOOSER_ACTION_OPEN);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button(save ? "_Save" : "_Open", Gtk::RESPONSE_OK);
  dialog.set_default_response(Gtk::RESPONSE_OK);
  dialog.set_do_overwrite_confirmation(true);
  if (save)
    dialog.set_current_name("bookmarks.html");
  auto filter = Gtk::FileFilter::create();
  filter->set_name(kBookmarkFilter);
  filter->add_pattern("*.html");
  filter->add_pattern("*.htm");
  dialog.add_filter(filter);
  if (dialog.run() != Gtk::RESPONSE_OK)
    return std::nullopt;
  return dialog.get_filename();
}

}  // namespace

void TDocumentPage::BuildBookmarks() {
  ButtonBookmarks.set_label("Bookmarks");
  ButtonBookmarks.set_icon_widget(pictures_[8]);
  ButtonBookmarks.set_tooltip_text("Bookmarks (Ctrl+D keeps this page)");
  ShowPictureOnly(ButtonBookmarks);
  ButtonBookmarks.set_homogeneous(false);
  ButtonBookmarks.get_child()->set_can_focus(true);
  ButtonBookmarks.signal_clicked().connect([this] {
    FillBookmarksMenu(bookmarksMenu_);
    bookmarksMenu_.popup_at_widget(&ButtonBookmarks, Gdk::GRAVITY_SOUTH_WEST,
                                   Gdk::GRAVITY_NORTH_WEST, nullptr);
  });
  bookmarksMenu_.attach_to_widget(*this);
  ToolBar1.insert(ButtonBookmarks, ToolBar1.get_item_index(ButtonExit));
  TraceToolButton(ButtonBookmarks);
  Bookmarks1.set_submenu(bookmarksSubmenu_);
  PopupMenu2.insert(Bookmarks1, 7);
  // Absent until the start-up knows the document and its password.
  for (Gtk::Widget* control : std::initializer_list<Gtk::Widget*>{&ButtonBookmarks, &Bookmarks1}) {
    control->show_all();
    control->set_no_show_all(true);
    control->hide();
  }
}

void TDocumentPage::FillBookmarksMenu(Gtk::Menu& menu) {
  for (Gtk::Widget* item : menu.get_children())
    menu.remove(*item);
  std::string traced = "Bookmark This Page";
  ShowShortcut(AppendItem(menu, "Bookmark This Page",
                          [this] { logic_.Guarded([this] { logic_.AddBookmark(); }); }),
               GDK_KEY_D, Gdk::CONTROL_MASK);
  const auto& bookmarks = logic_.Bookmarks();
  menu.append(*Gtk::make_managed<Gtk::SeparatorMenuItem>());
  for (std::size_t i = 0; i < bookmarks.size(); ++i) {
    AppendItem(menu, bookmarks[i].Title, [this, i] {
      logic_.Guarded([this, i] { logic_.OpenBookmark(i); });
    }).set_tooltip_text(bookmarks[i].Address);
    traced += " | " + bookmarks[i].Title;
  }
  if (!bookmarks.empty())
    menu.append(*Gtk::make_managed<Gtk::SeparatorMenuItem>());
  AppendItem(menu, "Rename", {}).set_submenu(BookmarkChoices([this](std::size_t i) {
    RenameBookmark(i);
  }));
  AppendItem(menu, "Delete", {}).set_submenu(BookmarkChoices([this](std::size_t i) {
    logic_.Guarded([this, i] { logic_.DeleteBookmark(i); });
  }));
  menu.append(*Gtk::make_managed<Gtk::SeparatorMenuItem>());
  AppendItem(menu, "Import Bookmarks...", [this] { ImportBookmarks(); });
  AppendItem(menu, "Export Bookmarks...", [this] { ExportBookmarks(); });
  menu.show_all();
  TestTrace("menu", "Bookmarks: " + traced);
}

Gtk::Menu& TDocumentPage::BookmarkChoices(const std::function<void(std::size_t)>& choose) {
  auto* menu = Gtk::make_managed<Gtk::Menu>();
  const auto& bookmarks = logic_.Bookmarks();
  for (std::size_t i = 0; i < bookmarks.size(); ++i)
    AppendItem(*menu, bookmarks[i].Title, [choose, i] { choose(i); });
  if (bookmarks.empty())
    AppendItem(*menu, "No bookmarks", {}).set_sensitive(false);
  return *menu;
}

void TDocumentPage::RenameBookmark(std::size_t index) {
  if (index >= logic_.Bookmarks().size())
    return;
  Gtk::Dialog dialog("Rename Bookmark", frame_.Window(), true);
  Gtk::Entry title;
  title.set_text(logic_.Bookmarks()[index].Title);
  title.set_activates_default(true);
  title.set_width_chars(40);
  dialog.get_content_area()->pack_start(title, Gtk::PACK_EXPAND_WIDGET, 8);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button("_OK", Gtk::RESPONSE_OK);
  dialog.set_default_response(Gtk::RESPONSE_OK);
  dialog.show_all();
  TestTrace("window", "Rename Bookmark");
  if (dialog.run() != Gtk::RESPONSE_OK)
    return;
  const std::string text = title.get_text();
  logic_.Guarded([&] { logic_.RenameBookmark(index, text); });
}

void TDocumentPage::ImportBookmarks() {
  const auto file = ChooseBookmarkFile(frame_.Window(), false);
  if (!file)
    return;
  try {
    const auto added = logic_.ImportBookmarks(*file);
    SetStatusText("Bookmarks imported: " + std::to_string(added));
  } catch (const EBookmarkFileError& failure) {
    frame_.Dialogs().ShowInformation(failure.what());
  }
}

void TDocumentPage::ExportBookmarks() {
  const auto file = ChooseBookmarkFile(frame_.Window(), true);
  if (!file)
    return;
  try {
    logic_.ExportBookmarks(*file);
    SetStatusText("Bookmarks exported to " + *file);
  } catch (const EBookmarkFileError& failure) {
    frame_.Dialogs().ShowInformation(failure.what());
  }
}

}  // namespace tomelet
