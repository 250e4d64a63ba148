// Printing a page into a PDF file, and the preview window that shows such a file page by page.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>
#include <poppler.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <functional>
#include <string>

namespace tomelet {

// Prints the view's page into the file pdf without asking anything; done runs once when the
// printing has ended, with the error's text or an empty text on success.
void PrintToPdf(WebKitWebView* view, const std::filesystem::path& pdf,
                std::function<void(std::string error)> done);

// Shows a printed page whole, one sheet at a time; its Print button prints the page again
// through the system's print dialog.
class TPrintPreview final : public Gtk::Window {
 public:
  // Reads pdf and removes it; throws std::runtime_error when it holds no readable document.
  TPrintPreview(Gtk::Window* parent, WebKitWebView* view, const std::filesystem::path& pdf);
  ~TPrintPreview() override;

  int PageCount() const;
  // Counted from 0.
  int CurrentPage() const { return page_; }
  void ShowPage(int page);

 private:
  void BuildLayout();
  bool DrawPage(const Cairo::RefPtr<Cairo::Context>& cairo);
  bool KeyPressed(GdkEventKey* key);
  void PrintWithDialog();

  WebKitWebView* view_;
  PopplerDocument* document_ = nullptr;
  int page_ = 0;
  Gtk::Box layout_{Gtk::ORIENTATION_VERTICAL};
  Gtk::Box buttons_{Gtk::ORIENTATION_HORIZONTAL, 6};
  Gtk::Button previous_{"Previous"};
  Gtk::Button next_{"Next"};
  Gtk::Label pageLabel_;
  Gtk::Button print_{"Print..."};
  Gtk::Button close_{"Close"};
  Gtk::DrawingArea sheet_;
};

}  // namespace tomelet
