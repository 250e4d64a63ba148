// The desktop's colour scheme reaches the pages: with GSettings' color-scheme at "prefer-dark"
// a page matches prefers-color-scheme: dark, and with the default it does not.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

constexpr const char* kSchemePage =
    "<title>scheme</title><script>setInterval(() => document.title = "
    "matchMedia('(prefers-color-scheme: dark)').matches ? 'dark' : 'light', 100)</script>";

class ViewerColourSchemeTest : public ViewerTest {
 protected:
  // GSettings reads its values from a key file in the test's folder instead of the desktop's.
  void DesktopPrefers(const std::string& scheme) {
    const auto folder = folder_ / "config" / "glib-2.0" / "settings";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "keyfile")
        << "[org/gnome/desktop/interface]\ncolor-scheme='" << scheme << "'\n";
    environment_ = {{"GSETTINGS_BACKEND", "keyfile"},
                    {"XDG_CONFIG_HOME", (folder_ / "config").string()}};
  }
};

TEST_F(ViewerColourSchemeTest, ADarkDesktopGivesDarkPages) {
  DesktopPrefers("prefer-dark");
  Start({Document("scheme.tlt", OpenOptions(), {{"index.htm", kSchemePage}})});
  EXPECT_FALSE(WaitForWindow("dark").empty()) << Trace();
}

TEST_F(ViewerColourSchemeTest, TheDefaultSchemeKeepsPagesLight) {
  DesktopPrefers("default");
  Start({Document("scheme.tlt", OpenOptions(), {{"index.htm", kSchemePage}})});
  EXPECT_FALSE(WaitForWindow("light").empty()) << Trace();
}

}  // namespace
}  // namespace tomelet::gui
