// The reference side of the start-up comparison: the same engine in a bare window, loading one
// page from extracted files. Prints the monotonic time, in seconds, at which the page finished
// loading, and goes on running like the viewer until the caller ends it, so both are measured
// alike. With "--sandbox" first, its web process is confined as the viewer's is.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED)
    return;
  std::printf("%.6f\n", static_cast<double>(g_get_monotonic_time()) / G_USEC_PER_SEC);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bool sandbox = argc > 1 && std::strcmp(argv[1], "--sandbox") == 0;
  if (sandbox) {  // drops the switch, keeping the program's own name first
    argv[1] = argv[0];
    --argc;
    ++argv;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: file_view [--sandbox] URI WIDTH HEIGHT\n");
    return 2;
  }
  gtk_init(&argc, &argv);
  if (sandbox)
    webkit_web_context_set_sandbox_enabled(webkit_web_context_get_default(), TRUE);
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
