#include "WebHost/PrintPreview.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace tomelet {
namespace {

struct TPdfJob {
  std::function<void(std::string)> Done;
  std::string Error;
};

void FreeJob(gpointer job) {
  std::unique_ptr<TPdfJob>(static_cast<TPdfJob*>(job));
}

void OnPrintFailed(WebKitPrintOperation*, GError* error, gpointer job) {
  static_cast<TPdfJob*>(job)->Error = error->message;
}

void OnPrintFinished(WebKitPrintOperation* operation, gpointer data) {
  auto* job = static_cast<TPdfJob*>(data);
  auto done = std::move(job->Done);
  const std::string error = job->Error;
  g_object_unref(operation);
  done(error);
}

GtkPrintSettings* PdfFileSettings(const std::filesystem::path& pdf) {
  GtkPrintSettings* settings = gtk_print_settings_new();
  // The file printer goes by its translated name, so it is asked for in the toolkit's language.
  gtk_print_settings_set_printer(settings, g_dgettext("gtk30", "Print to File"));
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  gchar* uri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  g_free(uri);
  return settings;
}

void ReleaseWhenFinished(WebKitPrintOperation* operation, gpointer) {
  g_object_unref(operation);
}

PopplerDocument* ReadPdf(const std::filesystem::path& pdf) {
  gchar* contents = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  if (!g_file_get_contents(pdf.c_str(), &contents, &length, &error)) {
    const std::string text = error->message;
    g_error_free(error);
    throw std::runtime_error("The print preview could not be read: " + text);
  }
  GBytes* bytes = g_bytes_new_take(contents, length);
  PopplerDocument* document = poppler_document_new_from_bytes(bytes, nullptr, &error);
  g_bytes_unref(bytes);
  if (!document || poppler_document_get_n_pages(document) < 1) {
    const std::string text = error ? error->message : "it has no pages";
    if (error)
      g_error_free(error);
    if (document)
      g_object_unref(document);
    throw std::runtime_error("The print preview could not be read: " + text);
  }
  return document;
}

}  // namespace

void PrintToPdf(WebKitWebView* view, const std::filesystem::path& pdf,
                std::function<void(std::string error)> done) {
  WebKitPrintOperation* operation = webkit_print_operation_new(view);
  GtkPrintSettings* settings = PdfFileSettings(pdf);
  webkit_print_operation_set_print_settings(operation, settings);
  g_object_unref(settings);
  auto job = std::make_unique<TPdfJob>();
  job->Done = std::move(done);
  g_signal_connect(operation, "failed", G_CALLBACK(OnPrintFailed), job.get());
  g_signal_connect(operation, "finished", G_CALLBACK(OnPrintFinished), job.get());
  g_object_set_data_full(G_OBJECT(operation), "tomelet-pdf-job", job.release(), FreeJob);
  webkit_print_operation_print(operation);
}

TPrintPreview::TPrintPreview(Gtk::Window* parent, WebKitWebView* view,
                             const std::filesystem::path& pdf)
    : view_(WEBKIT_WEB_VIEW(g_object_ref(view))) {
  try {
    document_ = ReadPdf(pdf);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(pdf, ignored);
    g_object_unref(view_);
    throw;
  }
  std::error_code ignored;
  std::filesystem::remove(pdf, ignored);
  set_title("Print Preview");
  set_default_size(620, 800);
  if (parent)
    set_transient_for(*parent);
  BuildLayout();
  ShowPage(0);
}

TPrintPreview::~TPrintPreview() {
  g_object_unref(document_);
  g_object_unref(view_);
}

void TPrintPreview::BuildLayout() {
  buttons_.set_border_width(6);
  buttons_.pack_start(previous_, Gtk::PACK_SHRINK);
  buttons_.pack_start(next_, Gtk::PACK_SHRINK);
  buttons_.pack_start(pageLabel_, Gtk::PACK_EXPAND_WIDGET);
  buttons_.pack_start(print_, Gtk::PACK_SHRINK);
  buttons_.pack_start(close_, Gtk::PACK_SHRINK);
  layout_.pack_start(buttons_, Gtk::PACK_SHRINK);
  layout_.pack_start(sheet_, Gtk::PACK_EXPAND_WIDGET);
  add(layout_);
  previous_.signal_clicked().connect([this] { ShowPage(page_ - 1); });
  next_.signal_clicked().connect([this] { ShowPage(page_ + 1); });
  print_.signal_clicked().connect([this] { PrintWithDialog(); });
  close_.signal_clicked().connect([this] { hide(); });
  sheet_.signal_draw().connect(sigc::mem_fun(*this, &TPrintPreview::DrawPage));
  signal_key_press_event().connect(sigc::mem_fun(*this, &TPrintPreview::KeyPressed), false);
  signal_delete_event().connect([this](GdkEventAny*) {
    hide();
    return true;
  });
  show_all_children();
}

int TPrintPreview::PageCount() const {
  return poppler_document_get_n_pages(document_);
}

void TPrintPreview::ShowPage(int page) {
  page_ = std::clamp(page, 0, PageCount() - 1);
  pageLabel_.set_text("Page " + std::to_string(page_ + 1) + " of " + std::to_string(PageCount()));
  previous_.set_sensitive(page_ > 0);
  next_.set_sensitive(page_ + 1 < PageCount());
  sheet_.queue_draw();
}

bool TPrintPreview::DrawPage(const Cairo::RefPtr<Cairo::Context>& cairo) {
  constexpr double kMargin = 12;
  PopplerPage* page = poppler_document_get_page(document_, page_);
  double pageWidth = 0;
  double pageHeight = 0;
  poppler_page_get_size(page, &pageWidth, &pageHeight);
  const double width = sheet_.get_allocated_width();
  const double height = sheet_.get_allocated_height();
  const double scale = std::max(
      0.01, std::min((width - 2 * kMargin) / pageWidth, (height - 2 * kMargin) / pageHeight));
  cairo->set_source_rgb(0.5, 0.5, 0.5);
  cairo->paint();
  cairo->translate((width - pageWidth * scale) / 2, (height - pageHeight * scale) / 2);
  cairo->scale(scale, scale);
  cairo->rectangle(0, 0, pageWidth, pageHeight);
  cairo->set_source_rgb(1, 1, 1);
  cairo->fill();
  poppler_page_render(page, cairo->cobj());
  g_object_unref(page);
  return true;
}

bool TPrintPreview::KeyPressed(GdkEventKey* key) {
  switch (key->keyval) {
    case GDK_KEY_Escape:
      hide();
      return true;
    case GDK_KEY_Page_Up:
      ShowPage(page_ - 1);
      return true;
    case GDK_KEY_Page_Down:
      ShowPage(page_ + 1);
      return true;
    default:
      return false;
  }
}

void TPrintPreview::PrintWithDialog() {
  WebKitPrintOperation* operation = webkit_print_operation_new(view_);
  // Printing goes on after the dialog has closed; the operation lives until it has finished.
  g_signal_connect(operation, "finished", G_CALLBACK(ReleaseWhenFinished), nullptr);
  if (webkit_print_operation_run_dialog(operation, gobj()) ==
      WEBKIT_PRINT_OPERATION_RESPONSE_CANCEL)
    g_object_unref(operation);
}

}  // namespace tomelet
