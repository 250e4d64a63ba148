// The shelf in the real program: every document of its folders listed, one search across an
// English and a German document, documents opened in tabs that each answer their own pages, a
// lookup from a second start handed to the running window, and a file copied in that appears.
#include <fstream>

#include "viewer_process.h"

namespace tomelet::gui {
namespace {

std::string Page(const std::string& language, const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html lang=\"" + language + "\"><head><title>" + title +
         "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>";
}

class ViewerShelfTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    environment_["XDG_CONFIG_HOME"] = (folder_ / "config").string();
    environment_["XDG_CACHE_HOME"] = (folder_ / "cache").string();
    environment_["XDG_DATA_DIRS"] = (folder_ / "system").string() + ":/usr/share";
    // The system's own books would come and go with what this machine has installed.
    WriteFile(folder_ / "config" / "tomelet" / "shelf.json",
              "{\"version\": 1, \"folders\": [], \"documentsOff\": [], \"groups\": {}, "
              "\"groupsOff\": [], \"tabs\": [], \"currentTab\": 0, \"installedBooks\": false}");
    std::filesystem::create_directories(shelf_);
    WriteTo("english.tlt",
            {{"index.htm", Page("en", "Alpha Guide",
                                "<p>Reading files.</p><p><a href='ref.htm'>Reference</a></p>")},
             {"ref.htm", Page("en", "Alpha Reference",
                              "<dl><dt id='open_file'>open_file()</dt><dd>Opens.</dd></dl>")}});
    WriteTo(
        "deutsch.tlt",
        {{"index.htm", Page("de", "Beta Anleitung", "<p>Die H\xC3\xA4user stehen am Fluss.</p>")}});
  }

  static void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  void WriteTo(const std::string& name, const std::map<std::string, std::string>& pages) {
    Manual(pages).Options(OpenOptions()).WriteTo(shelf_ / name);
  }

  std::string StartShelf(std::vector<std::string> more = {}) {
    std::vector<std::string> arguments{"--library", shelf_.string()};
    arguments.insert(arguments.end(), more.begin(), more.end());
    Start(arguments);
    return WaitForWindow("Tomelet Library");
  }

  // Runs a second start to its end, with the environment of the first; its exit code.
  int SecondStart(const std::vector<std::string>& arguments) {
    std::string command;
    for (const auto& [name, value] : environment_)
      command += name + "='" + value + "' ";
    command += "TOMELET_TEST_TRACE='" + trace_.string() + "' XDG_DATA_HOME='" +
               (folder_ / "data").string() + "' timeout 10 " TOMELET_VIEWER_PATH;
    for (const auto& argument : arguments)
      command += " '" + argument + "'";
    return std::system((command + " >/dev/null 2>&1").c_str());
  }

  std::filesystem::path shelf_ = folder_ / "shelf";
};

TEST_F(ViewerShelfTest, ListsItsDocumentsAndOneSearchFindsBothLanguages) {
  const auto window = StartShelf();
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("shelf: 2 documents")) << Trace();

  Type(window, "haus");
  EXPECT_TRUE(
      WaitForTrace("results: haus: 0 keywords, 1 pages match, first tome://inpack/index.htm", 20s))
      << "German is stemmed as German: " << Trace();
  PressKeys(window, "ctrl+a");
  Type(window, "reading");
  EXPECT_TRUE(WaitForTrace("results: reading: 0 keywords, 1 pages match", 20s)) << Trace();
  PressKeys(window, "Escape");
  EXPECT_FALSE(WaitForExit(500ms).has_value()) << "Esc never closes the shelf";
}

TEST_F(ViewerShelfTest, TabsEachAnswerTheirOwnPagesAndTheCaptionFollowsTheTabShown) {
  const auto window = StartShelf();
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("shelf: 2 documents")) << Trace();
  PressKeys(window, "Down Return");
  ASSERT_TRUE(WaitForTrace("title: Beta Anleitung")) << "the list is sorted by name: " << Trace();
  PressKeys(window, "ctrl+t");
  ASSERT_TRUE(WaitForTrace("title: Tomelet Library")) << Trace();
  PressKeys(window, "Down Down Return");
  ASSERT_TRUE(WaitForTrace("title: Alpha Guide")) << Trace();

  // Both documents have an index.htm: each tab's requests reach its own document.
  PressKeys(window, "ctrl+2");
  EXPECT_TRUE(WaitUntil([&] { return WindowName(window) == "Beta Anleitung"; }, 5s))
      << WindowName(window);
  PressKeys(window, "ctrl+9");
  EXPECT_TRUE(WaitUntil([&] { return WindowName(window) == "Alpha Guide"; }, 5s))
      << WindowName(window);
  PressKeys(window, "ctrl+w");
  EXPECT_TRUE(WaitForTrace("tab: closed, 3 left")) << Trace();
}

TEST_F(ViewerShelfTest, ASecondStartHandsItsSearchToTheWindowWhichOpensTheDefinition) {
  const auto window = StartShelf();
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("shelf: 2 documents")) << Trace();

  EXPECT_EQ(SecondStart({"--search", "open_file"}), 0);
  EXPECT_TRUE(WaitForTrace("title: Alpha Reference", 20s)) << Trace();
  EXPECT_NE(Trace().find("navigate: tome://inpack/ref.htm#open_file"), std::string::npos)
      << Trace();
  EXPECT_FALSE(WaitForExit(300ms).has_value()) << "the first start goes on";
  EXPECT_EQ(CommandOutput("xdotool search --all --onlyvisible --name '^Alpha Reference$' | wc -l"),
            "1")
      << "one window only";
}

TEST_F(ViewerShelfTest, AFileCopiedIntoTheReadersFolderAppears) {
  const auto window = StartShelf();
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("shelf: 2 documents")) << Trace();
  std::filesystem::copy_file(shelf_ / "english.tlt",
                             folder_ / "data" / "tomelet" / "documents" / "copy.tlt");
  EXPECT_TRUE(WaitForTrace("shelf: 3 documents", 5s)) << Trace();
}

TEST_F(ViewerShelfTest, AnInstalledBookIsOnTheShelfWithItsTypedKeywords) {
  const auto book = folder_ / "data" / "devhelp" / "books" / "tiny";
  WriteFile(book / "index.html", Page("en", "Tiny Toolkit", "<p>Start.</p>"));
  WriteFile(book / "widgets.html",
            Page("en", "Widgets", "<h2 id='tiny-widget-new'>tiny_widget_new ()</h2><p>Makes.</p>"));
  WriteFile(book / "tiny.devhelp2",
            "<?xml version='1.0'?><book xmlns='http://www.devhelp.net/book' title='Tiny Toolkit' "
            "link='index.html' name='tiny' version='2' language='c'><chapters><sub "
            "name='Widgets' link='widgets.html'/></chapters><functions><keyword type='function' "
            "name='tiny_widget_new ()' link='widgets.html#tiny-widget-new'/></functions></book>");
  std::filesystem::remove(folder_ / "config" / "tomelet" / "shelf.json");
  const auto window = StartShelf();
  ASSERT_FALSE(window.empty()) << Trace();

  // Imported in the background: the search typed before it is there is answered again.
  Type(window, "tiny_widget_new");
  EXPECT_TRUE(WaitForTrace("results: tiny_widget_new: 1 keywords", 20s)) << Trace();
  PressKeys(window, "Down Return");
  EXPECT_TRUE(WaitForTrace("title: Widgets", 20s)) << Trace();
  EXPECT_NE(Trace().find("navigate: tome://inpack/widgets.html#tiny-widget-new"), std::string::npos)
      << Trace();
}

}  // namespace
}  // namespace tomelet::gui
