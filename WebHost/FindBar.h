// The find bar above the page: the text, previous and next match, "n of m" and match case. It
// takes room from the page instead of lying over it, so a match is never hidden behind it. The
// matches are found and painted by a page script of the viewer's own, so the current one stands
// apart from the others in the colours the viewer chooses, light or dark.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>

#include "WebHost/PageBar.h"

namespace tomelet {

class TFindBar final : public TPageBar {
 public:
  // status receives "shown", "closed" and each count the bar shows.
  TFindBar(WebKitWebView* view, TStatus status);
  // Moves to the next (or previous) match of text, wrapping at the ends of the page. A text or
  // letter case other than the last one searched starts afresh at the first match at or below the
  // top of the view (backwards: the last one above its bottom) and shows it.
  void Search(const std::string& text, bool matchCase, bool backwards);
  // A new page: the count starts again with the next search, and marks left on a page the engine
  // kept are taken away.
  void Forget();
  // "n of m", "No matches", or empty before a search has answered.
  std::string Count() const { return count_.get_text(); }

 private:
  void BuildLayout();
  void SearchFromFields(bool backwards);
  // Runs the page's find script with one of its actions ("find", "next", "clear", ...).
  void RunScript(const char* action);
  void ShowCount(long current, long total);
  // Takes the marks off the page.
  void OnClosing() override;
  static void OnAnswered(GObject* view, GAsyncResult* result, gpointer request);

  const std::string script_;
  std::string searchedText_;
  bool searchedMatchCase_ = false;
  bool searched_ = false;
  // Each call is numbered; an answer to one that a later call overtook is not shown.
  unsigned long calls_ = 0;
  // Answers arrive after the bar may be gone; they check this first.
  std::shared_ptr<TFindBar*> alive_ = std::make_shared<TFindBar*>(this);
  Gtk::Box fields_{Gtk::ORIENTATION_HORIZONTAL, 6};
  Gtk::Button previous_, next_;
  Gtk::Label count_;
  Gtk::CheckButton matchCase_{"Match case"};
};

}  // namespace tomelet
