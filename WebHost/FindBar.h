// The find bar above the page: the text, previous and next match, "n of m" and match case. It
// takes room from the page instead of lying over it, so a match is never hidden behind it.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <gtkmm/searchbar.h>
#include <gtkmm/searchentry.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace tomelet {

class TFindBar final : public Gtk::SearchBar {
 public:
  // status receives "shown", "closed" and each count the bar shows.
  TFindBar(WebKitWebView* view, std::function<void(const std::string&)> status);
  ~TFindBar() override;

  // Shows the bar with its text selected and the keyboard in it.
  void Open();
  // Takes the marks off the page, hides the bar and gives the keyboard back to the page.
  void Close();
  bool IsOpen() const { return open_; }
  // Moves to the next (or previous) match of text, wrapping at the ends of the page.
  void Search(const std::string& text, bool matchCase, bool backwards);
  // A new page: the count starts again with the next search.
  void Forget();
  // "n of m", "No matches", or empty before a search has answered.
  std::string Count() const { return count_.get_text(); }

 private:
  void BuildLayout();
  void SearchFromFields(bool backwards);
  void Step(bool backwards);
  void ShowCount();
  void Report(const std::string& text);
  static void OnFound(WebKitFindController*, guint matchCount, gpointer self);
  static void OnCounted(WebKitFindController*, guint matchCount, gpointer self);
  static void OnNotFound(WebKitFindController*, gpointer self);

  WebKitWebView* view_;
  WebKitFindController* controller_;
  std::function<void(const std::string&)> status_;
  std::string searchedText_;
  guint32 searchedOptions_ = 0;
  // The current match, counted from 1 at the top or, when negative, from -1 at the bottom until
  // the number of matches is known.
  long position_ = 0;
  guint total_ = 0;
  bool counted_ = false;
  bool found_ = false;
  bool open_ = false;
  Gtk::Box fields_{Gtk::ORIENTATION_HORIZONTAL, 6};
  Gtk::SearchEntry text_;
  Gtk::Button previous_, next_;
  Gtk::Label count_;
  Gtk::CheckButton matchCase_{"Match case"};
};

}  // namespace tomelet
