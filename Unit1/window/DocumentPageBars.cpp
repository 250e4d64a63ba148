// The document page's tool bar with the document's logo, the text size menu of its Font Size
// button, and the page's own menu.
#include <gtk/gtk.h>

#include <utility>

#include "Unit1/TestTrace.h"
#include "Unit1/window/DocumentPage.h"

namespace tomelet {
namespace {

constexpr int kButtonWidth = 57;
constexpr int kButtonHeight = 60;
constexpr int kPictureOnlyWidth = 40;
constexpr int kLogoSize = 32;
constexpr int kLogoRightOffset = 40;

// The pictures of the tool bar in their list order; the first five also have a greyed form.
constexpr std::array<const char*, 10> kPictureNames = {"back",      "forward", "find", "print",
                                                       "fontsize",  "home",    "exit", "search",
                                                       "bookmarks", "contents"};
constexpr std::size_t kGreyedPictures = 5;

// Tight buttons keep the bar at its 60 pixels; greyed pictures are shown as drawn.
constexpr const char* kToolBarStyle =
    ".tomelet-toolbar { padding: 0; }"
    ".tomelet-toolbar button { padding: 1px 2px; min-height: 0; }"
    ".tomelet-toolbar button:disabled image { -gtk-icon-effect: none; opacity: 1; }";

}  // namespace

void TDocumentPage::BuildToolBar() {
  ToolBar1.set_toolbar_style(Gtk::TOOLBAR_BOTH);
  ToolBar1.get_style_context()->add_class("tomelet-toolbar");
  auto style = Gtk::CssProvider::create();
  style->load_from_data(kToolBarStyle);
  Gtk::StyleContext::add_provider_for_screen(Gdk::Screen::get_default(), style,
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  static_assert(std::tuple_size_v<decltype(pictures_)> == kPictureNames.size());
  for (std::size_t i = 0; i < pictures_.size(); ++i)
    pictures_[i].set(ProgramPicture(kPictureNames[i]));
  // Each hint ends with the keys of its command.
  SetUpToolButton(ButtonBack, "Back", "Go Back (Alt+Left)", 0, &TForm1Logic::ButtonBackClick);
  SetUpToolButton(ButtonForward, "Forward", "Go Forward (Alt+Right)", 1,
                  &TForm1Logic::ButtonForwardClick);
  SetUpToolButton(ButtonHome, "Home", "Return to HomePage (Alt+Home)", 5,
                  &TForm1Logic::ButtonHomeClick);
  SetUpToolButton(ButtonSearch, "Find", "Find on This Page (Ctrl+F)", 2,
                  &TForm1Logic::ButtonSearchClick);
  SetUpToolButton(ButtonDocumentSearch, "Search", "Search the Document (Ctrl+Shift+F)", 7,
                  &TForm1Logic::ButtonDocumentSearchClick);
  SetUpToolButton(ButtonSidePane, "Contents", "Show or Hide the Side Pane (F9)", 9,
                  &TForm1Logic::ButtonSidePaneClick);
  ShowPictureOnly(ButtonSidePane);
  SetUpToolButton(ButtonPrint, "Print", "Print... (Ctrl+P)", 3, &TForm1Logic::ButtonPrintClick);

  ButtonFont.set_label("Font Size");
  ButtonFont.set_icon_widget(pictures_[4]);
  ButtonFont.set_tooltip_text("Font Size (Ctrl+plus, Ctrl+minus, Ctrl+0)");
  ButtonFont.set_size_request(-1, kButtonHeight);
  ButtonFont.set_homogeneous(false);
  ButtonFont.get_child()->set_can_focus(true);
  ButtonFont.set_menu(PopupMenu1);
  ButtonFont.signal_clicked().connect([this] {
    PopupMenu1.popup_at_widget(&ButtonFont, Gdk::GRAVITY_SOUTH_WEST, Gdk::GRAVITY_NORTH_WEST,
                               nullptr);
  });
  ToolBar1.append(ButtonFont);
  TraceToolButton(ButtonFont);

  SetUpToolButton(ButtonExit, "Exit", "Return to Windows (Esc)", 6, &TForm1Logic::Exit1Click);
  ToolBar1.signal_draw().connect(sigc::mem_fun(*this, &TDocumentPage::PaintLogo), true);
}

void TDocumentPage::FocusToolBar() {
  for (Gtk::ToolButton* button : {&ButtonBack, &ButtonForward, &ButtonHome, &ButtonSearch}) {
    if (button->is_sensitive() && button->get_visible()) {
      button->get_child()->grab_focus();
      TestTrace("focus", button->get_label().raw());
      return;
    }
  }
}

void TDocumentPage::SetUpToolButton(Gtk::ToolButton& button, const std::string& caption,
                                    const std::string& hint, int picture,
                                    void (TForm1Logic::*command)()) {
  button.set_label(caption);
  button.set_icon_widget(pictures_[picture]);
  button.set_tooltip_text(hint);
  button.set_size_request(kButtonWidth, kButtonHeight);
  button.set_homogeneous(false);
  button.signal_clicked().connect([this, command] { Run(command); });
  // The keyboard reaches the bar too: F10, then the arrows or Tab.
  button.get_child()->set_can_focus(true);
  ToolBar1.append(button);
  TraceToolButton(button);
}

// The described bar fills a 640-pixel window, so the buttons added to it show their picture
// alone; the caption stays the button's name and its hint says what it does.
void TDocumentPage::ShowPictureOnly(Gtk::ToolButton& button) {
  button.set_label_widget(*Gtk::make_managed<Gtk::Label>());
  button.set_size_request(kPictureOnlyWidth, kButtonHeight);
}

void TDocumentPage::TraceToolButton(Gtk::ToolButton& button) {
  if (!TestTraceEnabled())
    return;
  // The bar has no window of its own, so the places are already in window coordinates.
  button.signal_size_allocate().connect([this, &button](Gtk::Allocation& allocation) {
    auto place = button.get_label().raw();
    for (int value :
         {allocation.get_x(), allocation.get_y(), allocation.get_width(), allocation.get_height()})
      place += " " + std::to_string(value);
    if (std::exchange(tracedPlaces_[&button], place) != place)
      TestTrace("button", place);
  });
}

void TDocumentPage::BuildFontMenu() {
  const std::array<std::pair<Gtk::RadioMenuItem*, int>, 5> items = {
      {{&Largest1, 4}, {&Larger1, 3}, {&Medium1, 2}, {&Smaller1, 1}, {&Smallest1, 0}}};
  for (auto [item, textSize] : items) {
    item->signal_activate().connect([this, item, textSize] {
      if (checkingTextSize_ || !item->get_active())
        return;
      logic_.Guarded([this, textSize] { logic_.Largest1Click(textSize); });
    });
    PopupMenu1.append(*item);
  }
  ShowShortcut(Medium1, GDK_KEY_0, Gdk::CONTROL_MASK);
  CheckTextSize(kDefaultTextSize);
  PopupMenu1.show_all();
}

void TDocumentPage::BuildPopupMenu2() {
  SetUpMenuItem(GoBack1, &TForm1Logic::ButtonBackClick);
  SetUpMenuItem(GoForward1, &TForm1Logic::ButtonForwardClick);
  PopupMenu2.append(N1);
  SetUpMenuItem(CopytoClipboard1, &TForm1Logic::CopytoClipboard1Click);
  SetUpMenuItem(Search1, &TForm1Logic::ButtonSearchClick);
  SetUpMenuItem(DocumentSearch1, &TForm1Logic::ButtonDocumentSearchClick);
  SetUpMenuItem(Print1, &TForm1Logic::ButtonPrintClick);
  PopupMenu2.append(N2);
  SetUpMenuItem(Exit1, &TForm1Logic::Exit1Click);
  ShowShortcut(GoBack1, GDK_KEY_Left, Gdk::MOD1_MASK);
  ShowShortcut(GoForward1, GDK_KEY_Right, Gdk::MOD1_MASK);
  ShowShortcut(Search1, GDK_KEY_F, Gdk::CONTROL_MASK);
  ShowShortcut(DocumentSearch1, GDK_KEY_F, Gdk::CONTROL_MASK | Gdk::SHIFT_MASK);
  ShowShortcut(Print1, GDK_KEY_P, Gdk::CONTROL_MASK);
  ShowShortcut(Exit1, GDK_KEY_Escape, Gdk::ModifierType(0));
  PopupMenu2.show_all();
  PopupMenu2.attach_to_widget(*this);
}

void TDocumentPage::SetUpMenuItem(Gtk::MenuItem& item, void (TForm1Logic::*command)()) {
  item.signal_activate().connect([this, command] { Run(command); });
  PopupMenu2.append(item);
}

void TDocumentPage::PopupMenu2Show(const GdkEvent* trigger) {
  Run(&TForm1Logic::PopupMenu2Popup);
  FillBookmarksMenu(bookmarksSubmenu_);
  PopupMenu2.popup_at_pointer(trigger);
}

void TDocumentPage::SetToolBarVisible(bool visible) {
  ToolBar1.set_visible(visible);
}

void TDocumentPage::SetButtonCaptionsShown(bool shown) {
  ToolBar1.set_toolbar_style(shown ? Gtk::TOOLBAR_BOTH : Gtk::TOOLBAR_ICONS);
}

void TDocumentPage::SetEnabled(TFormControl control, bool enabled) {
  const auto setButton = [&](Gtk::ToolButton& button, std::size_t picture) {
    button.set_sensitive(enabled);
    const std::string name = kPictureNames[picture];
    if (picture < kGreyedPictures)
      pictures_[picture].set(ProgramPicture(enabled ? name : name + "-disabled"));
  };
  switch (control) {
    case TFormControl::ButtonBack:
      return setButton(ButtonBack, 0);
    case TFormControl::ButtonForward:
      return setButton(ButtonForward, 1);
    case TFormControl::ButtonSearch:
      return setButton(ButtonSearch, 2);
    case TFormControl::ButtonDocumentSearch:
      return ButtonDocumentSearch.set_visible(enabled);
    case TFormControl::ButtonSidePane:
      return ButtonSidePane.set_visible(enabled);
    case TFormControl::ButtonPrint:
      return setButton(ButtonPrint, 3);
    case TFormControl::ButtonFont:
      return setButton(ButtonFont, 4);
    case TFormControl::GoBack1:
      return GoBack1.set_sensitive(enabled);
    case TFormControl::GoForward1:
      return GoForward1.set_sensitive(enabled);
    case TFormControl::CopytoClipboard1:
      return CopytoClipboard1.set_sensitive(enabled);
    case TFormControl::Search1:
      return Search1.set_sensitive(enabled);
    case TFormControl::DocumentSearch1:
      return DocumentSearch1.set_visible(enabled);
    case TFormControl::Print1:
      return Print1.set_sensitive(enabled);
    case TFormControl::ButtonBookmarks:
      return ButtonBookmarks.set_visible(enabled);
    case TFormControl::Bookmarks1:
      return Bookmarks1.set_visible(enabled);
  }
}

void TDocumentPage::SetLogo(std::span<const std::byte> icon) {
  logoIcon_.assign(icon.begin(), icon.end());
  logoPicture_.reset();
  ToolBar1.queue_draw();
}

bool TDocumentPage::PaintLogo(const Cairo::RefPtr<Cairo::Context>& cr) {
  if (!logoPicture_ && !logoIcon_.empty()) {
    logoPicture_ = IconPicture(logoIcon_, kLogoSize);
    // An icon whose images cannot be decoded is tried once and then shows nothing.
    logoIcon_.clear();
  }
  if (!logoPicture_)
    return false;
  const int x = ToolBar1.get_allocated_width() - kLogoRightOffset;
  const int y = (ToolBar1.get_allocated_height() - kLogoSize) / 2;
  Gdk::Cairo::set_source_pixbuf(cr, logoPicture_, x, y);
  cr->paint();
  return false;
}

}  // namespace tomelet
