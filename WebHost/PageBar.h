// What the find and search bars above the page share: a search entry that takes the keyboard
// when the bar opens and gives it back to the page when the bar closes, by Esc, by the bar's
// own close button or by the program; and a status callback told "shown" and "closed".
#pragma once

#include <gtkmm/searchbar.h>
#include <gtkmm/searchentry.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace tomelet {

class TPageBar : public Gtk::SearchBar {
 public:
  using TStatus = std::function<void(const std::string&)>;

  // Shows the bar with its text selected and the keyboard in it.
  void Open();
  // Hides the bar and gives the keyboard back to the page.
  void Close();
  bool IsOpen() const { return open_; }

 protected:
  TPageBar(WebKitWebView* view, TStatus status, int widthChars, const char* placeholder);
  // Called once when an open bar closes, before the page takes the keyboard back.
  virtual void OnClosing() {}
  // Connects the close of the bar's search mode; called once the bar's layout is complete.
  void FinishLayout();
  void Report(const std::string& text) const;

  WebKitWebView* const view_;
  Gtk::SearchEntry text_;

 private:
  TStatus status_;
  bool open_ = false;
};

}  // namespace tomelet
