// The find dialog over a page: the text, match case, next and previous, and whether it was found.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dialog.h>
#include <gtkmm/entry.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <webkit2/webkit2.h>

#include <string>

namespace tomelet {

class TFindDialog final : public Gtk::Dialog {
 public:
  TFindDialog(Gtk::Window* parent, WebKitFindController* controller);
  ~TFindDialog() override;

  // Moves to the next (or previous) match of text, wrapping at the ends of the page; the result
  // arrives later as Feedback.
  void Search(const std::string& text, bool matchCase, bool backwards);
  // "Not found", the number of matches, or empty before a search has answered.
  std::string Feedback() const { return feedback_.get_text(); }

 private:
  void BuildLayout();
  void SearchFromFields(bool backwards);
  void Finish();
  static void OnFound(WebKitFindController*, guint matchCount, gpointer self);
  static void OnNotFound(WebKitFindController*, gpointer self);

  WebKitFindController* controller_;
  std::string searchedText_;
  guint32 searchedOptions_ = 0;
  Gtk::Grid fields_;
  Gtk::Label prompt_{"Find what:"};
  Gtk::Entry text_;
  Gtk::CheckButton matchCase_{"Match case"};
  Gtk::Label feedback_;
  Gtk::Button* previous_ = nullptr;
  Gtk::Button* next_ = nullptr;
};

}  // namespace tomelet
