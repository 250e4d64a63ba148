// The GUI tests need a display; listing them (as the build does) needs none.
#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <memory>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests))
    return RUN_ALL_TESTS();
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "The GUI tests need a display (run them under xvfb-run).\n");
    return 1;
  }
  Gtk::Main gtkmm(argc, argv);
  return RUN_ALL_TESTS();
}
