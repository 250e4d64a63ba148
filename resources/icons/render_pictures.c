/* Build helper: draws SVG pictures into PNG files of a given size, so that the program carries
 * ready pictures and needs no SVG renderer while it runs.
 *   render_pictures SIZE IN.svg OUT.png [IN.svg OUT.png ...] */
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) {
    g_printerr("usage: render_pictures SIZE IN.svg OUT.png [IN.svg OUT.png ...]\n");
    return 2;
  }
  const int size = atoi(argv[1]);
  for (int i = 2; i + 1 < argc; i += 2) {
    GError* error = NULL;
    GdkPixbuf* picture = gdk_pixbuf_new_from_file_at_size(argv[i], size, size, &error);
    if (!picture || !gdk_pixbuf_save(picture, argv[i + 1], "png", &error, NULL)) {
      g_printerr("render_pictures: %s: %s\n", argv[i], error ? error->message : "failed");
      return 1;
    }
    g_object_unref(picture);
  }
  return 0;
}
