#include "shelf/window/ShelfPage.h"

#include <gtk/gtk.h>

#include "Unit1/SidePane.h"
#include "Unit1/TestTrace.h"
#include "document/DocumentAddress.h"
#include "platform/text/AsciiCase.h"
#include "search/ResultsPage.h"

namespace tomelet::shelf {
namespace {

constexpr std::size_t kKeywordsShown = 20;
constexpr std::size_t kHitsShown = 20;
constexpr int kLogoSize = 32;

// What the source calls the keyword ("function", "struct", "macro"), else what it is on its page.
std::string KindName(const TKeyword& keyword) {
  if (!keyword.Type.empty())
    return keyword.Type;
  switch (keyword.Kind) {
    case TKeywordKind::Definition:
      return "definition";
    case TKeywordKind::PageTitle:
      return "page";
    case TKeywordKind::Heading:
      return "section";
  }
  return {};
}

// How long a search waits before it asks again documents whose index is still being built.
constexpr unsigned kIndexingRetry = 500;

// A function's name as it is called, without the "()" its definition may be written with.
std::string_view CalledName(std::string_view term) {
  return term.ends_with("()") ? term.substr(0, term.size() - 2) : term;
}

// The keyword a lookup from an editor means: among the keywords equal to the query (they come
// first, the best kind first), the first, when no other of its kind is equal too.
const TKeywordHit* SoleKeyword(const TShelfResults& results) {
  std::vector<const TKeywordHit*> equal;
  for (const auto& hit : results.Keywords.Hits)
    if (EqualsFoldedAscii(CalledName(hit.Keyword.Term), CalledName(results.Query)))
      equal.push_back(&hit);
  if (equal.empty() || (equal.size() > 1 && equal[1]->Keyword.Kind == equal[0]->Keyword.Kind))
    return nullptr;
  return equal[0];
}

std::string Megabytes(std::int64_t bytes) {
  const std::int64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

std::string Details(const TShelfDocument& document) {
  if (!document.Facts.Error.empty())
    return "cannot be read: " + document.Facts.Error;
  std::string details = document.Name;
  if (document.Facts.Protected)
    details += " \u00b7 protected by a password";
  else
    details += " \u00b7 " + std::to_string(document.Facts.Pages) + " pages";
  if (!document.Facts.Language.empty())
    details += " \u00b7 " + document.Facts.Language;
  return details + " \u00b7 " + Megabytes(document.Size);
}

Gtk::Label& NewLabel(const std::string& text, bool markup = false) {
  auto* label = Gtk::make_managed<Gtk::Label>();
  if (markup)
    label->set_markup(text);
  else
    label->set_text(text);
  label->set_xalign(0);
  label->set_ellipsize(Pango::ELLIPSIZE_END);
  return *label;
}

std::string Escaped(const std::string& text) {
  return Glib::Markup::escape_text(text);
}

// A snippet is escaped HTML with the matched words in <b>, which is also markup the label reads.
Gtk::Label& SnippetLabel(const std::string& snippet) {
  auto& label = NewLabel({});
  label.set_ellipsize(Pango::ELLIPSIZE_NONE);
  label.set_line_wrap(true);
  label.set_max_width_chars(100);
  if (!pango_parse_markup(snippet.c_str(), -1, 0, nullptr, nullptr, nullptr, nullptr))
    label.set_text(snippet);
  else
    label.set_markup(snippet);
  label.get_style_context()->add_class("dim-label");
  return label;
}

gboolean BackToField(GtkWidget*, GtkDirectionType direction, gpointer field) {
  if (direction != GTK_DIR_UP)
    return FALSE;
  static_cast<Gtk::SearchEntry*>(field)->grab_focus();
  return TRUE;
}

Gtk::Box& RowBox(Gtk::Orientation orientation) {
  auto* box =
      Gtk::make_managed<Gtk::Box>(orientation, orientation == Gtk::ORIENTATION_VERTICAL ? 2 : 10);
  box->set_margin_top(4);
  box->set_margin_bottom(4);
  box->set_margin_start(6);
  box->set_margin_end(6);
  return *box;
}

}  // namespace

TShelfPage::TShelfPage(TShelf& shelf, IShelfFrame& frame)
    : Gtk::Box(Gtk::ORIENTATION_VERTICAL, 6), shelf_(shelf), frame_(frame) {
  set_border_width(8);
  BuildTop();
  status_.set_xalign(0);
  status_.get_style_context()->add_class("dim-label");
  pack_start(status_, Gtk::PACK_SHRINK);
  for (auto* list : {&documents_, &results_}) {
    list->set_selection_mode(Gtk::SELECTION_BROWSE);
    list->set_activate_on_single_click(true);
    // Up from the first line goes back to the field, as in a completion list.
    g_signal_connect(list->gobj(), "keynav-failed", G_CALLBACK(BackToField), &query_);
  }
  documentsScroll_.add(documents_);
  resultsScroll_.add(results_);
  views_.add(documentsScroll_, "documents");
  views_.add(resultsScroll_, "results");
  pack_start(views_, Gtk::PACK_EXPAND_WIDGET);
  results_.signal_row_activated().connect([this](Gtk::ListBoxRow* row) {
    const auto index = static_cast<std::size_t>(row->get_index());
    if (index < targets_.size())
      Open(targets_[index].first, targets_[index].second);
  });
  documents_.signal_row_activated().connect([this](Gtk::ListBoxRow* row) {
    const auto index = static_cast<std::size_t>(row->get_index());
    if (index < listed_.size() && !listed_[index].empty())
      Open(listed_[index], {});
  });
  show_all();
  ListDocuments();
}

void TShelfPage::BuildTop() {
  query_.set_placeholder_text("Search every document (Ctrl+K)");
  query_.set_hexpand(true);
  // Every change, not the search entry's own signal 150 ms later: answered as it is typed.
  query_.signal_changed().connect([this] { Search(query_.get_text(), false); });
  query_.signal_activate().connect([this] {
    if (auto* first = results_.get_row_at_index(0); first && !targets_.empty())
      first->activate();
  });
  query_.signal_key_press_event().connect([this](GdkEventKey* key) { return SearchKey(key); },
                                          false);
  addFolder_.signal_clicked().connect([this] { AddFolder(); });
  installedBooks_.set_tooltip_text("The books installed with the system's packages");
  installedBooks_.set_active(shelf_.Settings().InstalledBooks);
  installedBooks_.signal_toggled().connect([this] {
    shelf_.ChangeSettings(
        [&](TShelfSettings& settings) { settings.InstalledBooks = installedBooks_.get_active(); });
    ListDocuments();
  });
  top_.pack_start(query_, Gtk::PACK_EXPAND_WIDGET);
  top_.pack_start(installedBooks_, Gtk::PACK_SHRINK);
  top_.pack_start(addFolder_, Gtk::PACK_SHRINK);
  pack_start(top_, Gtk::PACK_SHRINK);
}

// Down moves from the field into the list shown, as in a completion list.
bool TShelfPage::SearchKey(GdkEventKey* key) {
  if (key->keyval != GDK_KEY_Down && key->keyval != GDK_KEY_KP_Down)
    return false;
  Gtk::ListBox& list = views_.get_visible_child_name() == "results" ? results_ : documents_;
  if (auto* first = list.get_row_at_index(0)) {
    list.select_row(*first);
    first->grab_focus();
  }
  return true;
}

void TShelfPage::FocusSearch() {
  query_.grab_focus();
}

void TShelfPage::Search(const std::string& text, bool openSole) {
  // Setting the field's text searches too; what this call asks for is set after it.
  if (query_.get_text() != text) {
    query_.set_text(text);
    query_.set_position(-1);
  }
  searched_ = text;
  openSole_ = openSole;
  if (text.empty()) {
    views_.set_visible_child("documents");
    ListDocuments();
    return;
  }
  keywordWorker_.Post(kKeywordJob, [this, text] {
    TShelfResults results{text, shelf_.Keywords(text, kKeywordsShown), {}};
    return [this, text, results = std::move(results)] {
      if (text == searched_)
        ShowResults(results, false);
    };
  });
  worker_.Post(kSearchJob, [this, text] {
    auto results = shelf_.Search(text, kKeywordsShown, kHitsShown);
    return [this, text, results = std::move(results)]() mutable {
      if (text == searched_)
        Searched(std::move(results));
    };
  });
}

void TShelfPage::ShelfChanged() {
  if (searched_.empty())
    ListDocuments();
  else
    Search(searched_, openSole_);
}

void TShelfPage::Searched(TShelfResults results) {
  ShowResults(results);
  // Documents still being indexed answer a later search; nothing else would ask again.
  if (!results.Text.Indexing.empty())
    Glib::signal_timeout().connect_once(
        [this, text = searched_] {
          if (text == searched_)
            Search(text, openSole_);
        },
        kIndexingRetry);
  if (!openSole_ || !results.Keywords.Reading.empty())
    return;
  openSole_ = false;
  if (const TKeywordHit* sole = SoleKeyword(results))
    Open(sole->Document, MapItemAddress(sole->Keyword.Page, sole->Keyword.Anchor));
}

void TShelfPage::ShowResults(const TShelfResults& results, bool complete) {
  Clear(results_);
  targets_.clear();
  for (const auto& hit : results.Keywords.Hits) {
    auto& row = RowBox(Gtk::ORIENTATION_HORIZONTAL);
    row.pack_start(NewLabel("<b>" + Escaped(hit.Keyword.Term) + "</b>", true), Gtk::PACK_SHRINK);
    auto& where = NewLabel(KindName(hit.Keyword) + " \u00b7 " + hit.Keyword.PageTitle + " \u00b7 " +
                           hit.Document);
    where.get_style_context()->add_class("dim-label");
    row.pack_start(where, Gtk::PACK_EXPAND_WIDGET);
    results_.append(row);
    targets_.emplace_back(hit.Document, MapItemAddress(hit.Keyword.Page, hit.Keyword.Anchor));
  }
  for (const auto& hit : results.Text.Hits) {
    auto& row = RowBox(Gtk::ORIENTATION_VERTICAL);
    row.pack_start(NewLabel("<b>" + Escaped(hit.Hit.Title) + "</b>  <small>" +
                                Escaped(hit.Document) + "</small>",
                            true),
                   Gtk::PACK_SHRINK);
    row.pack_start(SnippetLabel(hit.Hit.Snippet), Gtk::PACK_SHRINK);
    results_.append(row);
    targets_.emplace_back(hit.Document, search::HitAddress(hit.Hit, kDocumentUrlPrefix));
  }
  results_.show_all();
  views_.set_visible_child("results");
  std::string status =
      std::to_string(results.Keywords.Hits.size()) + " keywords, " +
      (complete ? std::to_string(results.Text.Total) + " pages match" : "searching the pages");
  if (!results.Keywords.Reading.empty() || !results.Text.Indexing.empty())
    status += " (still reading " +
              std::to_string(results.Keywords.Reading.size() + results.Text.Indexing.size()) +
              " documents)";
  status_.set_text(status);
  TestTrace(
      complete ? "results" : "keywords",
      results.Query + ": " + status + (targets_.empty() ? "" : ", first " + targets_[0].second));
}

void TShelfPage::ListDocuments() {
  worker_.Post(kListJob, [this] {
    auto documents = shelf_.Documents();
    return [this, documents = std::move(documents)] { ShowDocuments(documents); };
  });
}

void TShelfPage::ShowDocuments(const std::vector<TShelfDocument>& documents) {
  Clear(documents_);
  listed_.clear();
  const TShelfSettings settings = shelf_.Settings();
  for (const auto& [name, members] : settings.Groups) {
    documents_.append(GroupRow(name, members.size(), !settings.GroupsOff.contains(name)));
    listed_.emplace_back();
  }
  std::size_t off = 0;
  for (const auto& document : documents) {
    documents_.append(DocumentRow(document));
    listed_.push_back(document.Name);
    off += document.Searched ? 0 : 1;
  }
  documents_.show_all();
  std::string status = std::to_string(documents.size()) + " documents";
  if (off > 0)
    status += ", " + std::to_string(off) + " not searched";
  if (searched_.empty())
    status_.set_text(status);
  TestTrace("shelf", status);
}

Gtk::Widget& TShelfPage::DocumentRow(const TShelfDocument& document) {
  auto& row = RowBox(Gtk::ORIENTATION_HORIZONTAL);
  auto* logo = Gtk::make_managed<Gtk::Image>();
  logo->set_size_request(kLogoSize, kLogoSize);
  if (auto picture = document.Logo.empty() ? Glib::RefPtr<Gdk::Pixbuf>()
                                           : IconPicture(document.Logo, kLogoSize))
    logo->set(picture);
  row.pack_start(*logo, Gtk::PACK_SHRINK);
  auto& text = RowBox(Gtk::ORIENTATION_VERTICAL);
  text.pack_start(
      NewLabel("<b>" +
                   Escaped(document.Facts.Title.empty() ? document.Name : document.Facts.Title) +
                   "</b>",
               true),
      Gtk::PACK_SHRINK);
  auto& details = NewLabel(Details(document));
  details.get_style_context()->add_class("dim-label");
  text.pack_start(details, Gtk::PACK_SHRINK);
  row.pack_start(text, Gtk::PACK_EXPAND_WIDGET);
  auto* searched = Gtk::make_managed<Gtk::Switch>();
  searched->set_active(document.Searched);
  searched->set_valign(Gtk::ALIGN_CENTER);
  searched->set_tooltip_text("Searched with the others");
  const std::string file = document.Path.string();
  searched->property_active().signal_changed().connect([this, searched, file] {
    shelf_.ChangeSettings([&](TShelfSettings& settings) {
      if (searched->get_active())
        settings.DocumentsOff.erase(file);
      else
        settings.DocumentsOff.insert(file);
    });
    TestTrace("shelf", file + (searched->get_active() ? " searched" : " not searched"));
  });
  row.pack_start(*searched, Gtk::PACK_SHRINK);
  row.pack_start(GroupsButton(document), Gtk::PACK_SHRINK);
  return row;
}

Gtk::Widget& TShelfPage::GroupRow(const std::string& name, std::size_t members, bool searched) {
  auto& row = RowBox(Gtk::ORIENTATION_HORIZONTAL);
  row.pack_start(NewLabel("Group <b>" + Escaped(name) + "</b> \u00b7 " + std::to_string(members) +
                              " documents",
                          true),
                 Gtk::PACK_EXPAND_WIDGET);
  auto* on = Gtk::make_managed<Gtk::Switch>();
  on->set_active(searched);
  on->set_tooltip_text("Searched with the others");
  on->property_active().signal_changed().connect([this, on, name] {
    shelf_.ChangeSettings([&](TShelfSettings& settings) {
      if (on->get_active())
        settings.GroupsOff.erase(name);
      else
        settings.GroupsOff.insert(name);
    });
  });
  row.pack_start(*on, Gtk::PACK_SHRINK);
  auto* remove = Gtk::make_managed<Gtk::Button>("Delete Group");
  remove->signal_clicked().connect([this, name] {
    shelf_.ChangeSettings([&](TShelfSettings& settings) {
      settings.Groups.erase(name);
      settings.GroupsOff.erase(name);
    });
    ListDocuments();
  });
  row.pack_start(*remove, Gtk::PACK_SHRINK);
  return row;
}

Gtk::MenuButton& TShelfPage::GroupsButton(const TShelfDocument& document) {
  auto* button = Gtk::make_managed<Gtk::MenuButton>();
  button->set_label("Groups");
  button->set_valign(Gtk::ALIGN_CENTER);
  auto* menu = Gtk::make_managed<Gtk::Menu>();
  const std::string file = document.Path.string();
  for (const auto& [name, members] : shelf_.Settings().Groups) {
    auto* item = Gtk::make_managed<Gtk::CheckMenuItem>(name);
    item->set_active(members.contains(file));
    item->signal_toggled().connect([this, item, name, file] {
      shelf_.ChangeSettings([&](TShelfSettings& settings) {
        if (item->get_active())
          settings.Groups[name].insert(file);
        else
          settings.Groups[name].erase(file);
      });
      ListDocuments();
    });
    menu->append(*item);
  }
  auto* added = Gtk::make_managed<Gtk::MenuItem>("New Group...");
  added->signal_activate().connect([this, file] { AskNewGroup(file); });
  menu->append(*added);
  menu->show_all();
  button->set_popup(*menu);
  return *button;
}

void TShelfPage::AskNewGroup(const std::string& document) {
  Gtk::Dialog dialog("New Group", frame_.Window(), true);
  Gtk::Entry name;
  name.set_activates_default(true);
  dialog.get_content_area()->pack_start(name, Gtk::PACK_SHRINK);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button("_Add", Gtk::RESPONSE_OK);
  dialog.set_default_response(Gtk::RESPONSE_OK);
  dialog.show_all();
  if (dialog.run() != Gtk::RESPONSE_OK || name.get_text().empty())
    return;
  const std::string group = name.get_text();
  shelf_.ChangeSettings([&](TShelfSettings& settings) { settings.Groups[group].insert(document); });
  ListDocuments();
}

void TShelfPage::AddFolder() {
  Gtk::FileChooserDialog dialog(frame_.Window(), "Add Folder",
                                Gtk::FILE_CHOOSER_ACTION_SELECT_FOLDER);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button("_Add", Gtk::RESPONSE_OK);
  dialog.set_default_response(Gtk::RESPONSE_OK);
  if (dialog.run() != Gtk::RESPONSE_OK)
    return;
  try {
    shelf_.AddFolder(dialog.get_filename());
  } catch (const std::exception& failure) {
    frame_.Dialogs().ShowInformation(failure.what());
  }
  ListDocuments();
}

void TShelfPage::Open(const std::string& documentName, const std::string& address) {
  const auto file = shelf_.FileOf(documentName);
  if (!file.empty())
    frame_.OpenDocument(file, address, true);
}

void TShelfPage::Clear(Gtk::ListBox& list) {
  for (Gtk::Widget* row : list.get_children())
    list.remove(*row);
}

}  // namespace tomelet::shelf
