// The search bar above the page: a search entry whose suggestions are page titles as the reader
// types. Enter shows the results page at the viewer's own search address; a chosen suggestion
// opens its page.
#pragma once

#include <gtkmm/entrycompletion.h>
#include <gtkmm/liststore.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>
#include <vector>

#include "WebHost/PageBar.h"
#include "WebHost/WebHost.h"

namespace tomelet {

class TSearchBar final : public TPageBar {
 public:
  using TOpen = std::function<void(const std::string& address)>;

  // Takes its suggestions from the host's SuggestPages and tells its SearchStatus what it does;
  // open loads an address in the view.
  TSearchBar(WebKitWebView* view, TOpen open, TWebHost& host);

 private:
  struct TColumns : Gtk::TreeModelColumnRecord {
    TColumns() {
      add(Title);
      add(Address);
    }
    Gtk::TreeModelColumn<Glib::ustring> Title;
    Gtk::TreeModelColumn<std::string> Address;
  };

  void ShowSuggestions();
  void Choose(const std::string& address);
  void SearchTypedText();

  TOpen openPage_;
  TWebHost& host_;
  TColumns columns_;
  Glib::RefPtr<Gtk::ListStore> suggestions_;
  Glib::RefPtr<Gtk::EntryCompletion> completion_;
};

// The address of the results page for text.
std::string SearchAddress(const std::string& text);
// The searched text of a results page's address; empty for any other address.
std::string SearchedText(const std::string& address);
// Marks the whole words of text on the page shown, taking away any marks made before; done
// reports how many places were marked. Empty text only takes the marks away.
void HighlightWords(WebKitWebView* view, const std::string& text,
                    std::function<void(int marked)> done);

}  // namespace tomelet
