// The page's part of the Search command: the button and menu item that exist only when the
// document allows Find, the search bar, and the engine's requests for the results pages.
#include "Unit1/window/DocumentPage.h"

namespace tomelet {

void TDocumentPage::BuildDocumentSearch() {
  // Absent until the start-up finds that the document allows it; its picture is shown with it.
  for (Gtk::Widget* control :
       std::initializer_list<Gtk::Widget*>{&ButtonDocumentSearch, &DocumentSearch1}) {
    control->show_all();
    control->set_no_show_all(true);
    control->hide();
  }
  webBrowser_->SearchPage = [this](const std::string& address) {
    auto* search = logic_.DocumentSearch();
    return search ? search->ResultsPage(address) : UnsearchablePage();
  };
  webBrowser_->SuggestPages = [this](const std::string& typed) {
    std::vector<TSuggestedPage> pages;
    if (auto* search = logic_.DocumentSearch()) {
      for (const auto& suggestion : search->Suggest(typed))
        pages.push_back({suggestion.Title, SuggestionAddress(suggestion)});
    }
    return pages;
  };
}

void TDocumentPage::ShowSearchBar() {
  webBrowser_->ShowSearchBar();
}

}  // namespace tomelet
