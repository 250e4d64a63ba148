// The reference side of the start-up comparison: the same engine in a bare window, loading one
// page from extracted files. Prints the monotonic time, in seconds, at which the page finished
// loading, and goes on running like the viewer until the caller ends it, so both are measured
// alike.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>

namespace {

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED)
    return;
  std::printf("%.6f\n", static_cast<double>(g_get_monotonic_time()) / G_USEC_PER_SEC);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: file_view URI WIDTH HEIGHT\n");
    return 2;
  }
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), std::atoi(argv[2]), std::atoi(argv[3]));
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
