// The find bar above the page: the text, previous and next match, "n of m" and match case. It
// takes room from the page instead of lying over it, so a match is never hidden behind it.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <webkit2/webkit2.h>

#include <string>

#include "WebHost/PageBar.h"

namespace tomelet {

class TFindBar final : public TPageBar {
 public:
  // status receives "shown", "closed" and each count the bar shows.
  TFindBar(WebKitWebView* view, TStatus status);
  ~TFindBar() override;
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
  // Takes the marks off the page.
  void OnClosing() override;
  static void OnFound(WebKitFindController*, guint matchCount, gpointer self);
  static void OnCounted(WebKitFindController*, guint matchCount, gpointer self);
  static void OnNotFound(WebKitFindController*, gpointer self);

  WebKitFindController* controller_;
  std::string searchedText_;
  guint32 searchedOptions_ = 0;
  // The current match, counted from 1 at the top or, when negative, from -1 at the bottom until
  // the number of matches is known.
  long position_ = 0;
  guint total_ = 0;
  bool counted_ = false;
  bool found_ = false;
  Gtk::Box fields_{Gtk::ORIENTATION_HORIZONTAL, 6};
  Gtk::Button previous_, next_;
  Gtk::Label count_;
  Gtk::CheckButton matchCase_{"Match case"};
};

}  // namespace tomelet
