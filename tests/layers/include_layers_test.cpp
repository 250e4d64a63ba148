// Keeps the layers the build is made of: reads every #include of the product folders and fails on
// an include that points up a layer, or on engine and toolkit headers outside the folders that
// own the window.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace tomelet {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kProductFolders = {
    "platform",        "ZLIBArchive2", "document", "search",    "library",
    "serve",           "import",       "shelf",    "bookmarks", "OurNSHandler",
    "SecurityManager", "WebHost",      "Unit1",    "viewer",    "tools"};

// Folders whose sources may include nothing but themselves and these.
struct TFoundation {
  std::string folder;
  std::vector<std::string> below;
};
const std::vector<TFoundation> kFoundations = {
    {"platform/", {"platform/"}},
    {"ZLIBArchive2/", {"platform/"}},
    {"document/", {"ZLIBArchive2/", "platform/"}},
    {"search/", {"document/", "ZLIBArchive2/", "platform/"}},
    {"library/", {"search/", "document/", "ZLIBArchive2/", "platform/"}},
    {"serve/", {"library/", "search/", "document/", "ZLIBArchive2/", "platform/"}},
    {"import/", {"search/", "document/", "ZLIBArchive2/", "platform/"}},
    {"bookmarks/", {"platform/"}},
    {"shelf/", {"import/", "library/", "search/", "document/", "ZLIBArchive2/", "platform/"}},
    {"SecurityManager/", {"platform/"}},
    {"OurNSHandler/", {"document/", "ZLIBArchive2/", "platform/"}},
    {"WebHost/", {"SecurityManager/", "document/", "ZLIBArchive2/", "platform/"}},
    // The first folder a source lies in decides: the window half before the logic it carries out.
    {"Unit1/window/",
     {"Unit1/", "WebHost/", "OurNSHandler/", "SecurityManager/", "bookmarks/", "import/", "search/",
      "document/", "ZLIBArchive2/", "platform/"}},
    {"Unit1/",
     {"OurNSHandler/", "SecurityManager/", "bookmarks/", "import/", "search/", "document/",
      "ZLIBArchive2/", "platform/"}},
};
// The window halves of the folders above stand on the viewer's units besides.
const std::vector<std::string> kWindowHalves = {"shelf/window/"};
const std::vector<std::string> kAboveTools = {"Unit1/", "OurNSHandler/", "WebHost/",
                                              "SecurityManager/", "viewer/"};
const std::vector<std::string> kEngineHeaders = {"webkit2/", "webkit/", "JavaScriptCore/", "jsc/"};
const std::vector<std::string> kToolkitHeaders = {"gtk/", "gtkmm.h", "gtkmm/",
                                                  "gdk/", "gdkmm/",  "gdkmm.h"};
const std::vector<std::string> kEngineOwners = {"WebHost/", "Unit1/window/"};
const std::vector<std::string> kToolkitOwners = {"WebHost/", "Unit1/window/", "shelf/window/",
                                                 "viewer/"};

bool StartsWithAny(const std::string& text, const std::vector<std::string>& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const std::string& prefix) { return text.starts_with(prefix); });
}

bool IsSource(const fs::path& file) {
  const auto extension = file.extension().native();
  return extension == ".h" || extension == ".cpp" || extension == ".c" || extension == ".in";
}

// The reason an include of source (relative to the root) is forbidden; empty when it is allowed.
std::string Refusal(const std::string& source, const std::string& included, bool angled) {
  if (angled) {
    if (StartsWithAny(included, kEngineHeaders) && !StartsWithAny(source, kEngineOwners))
      return "engine header outside WebHost/ and the window half of Unit1/";
    if (StartsWithAny(included, kToolkitHeaders) && !StartsWithAny(source, kToolkitOwners))
      return "toolkit header outside WebHost/, the window halves of Unit1/ and shelf/, and viewer/";
    return {};
  }
  if (source.starts_with("tools/") && StartsWithAny(included, kAboveTools))
    return "tools/ stands on serve/ and the layers below it, never on a viewer unit";
  if (StartsWithAny(source, kWindowHalves))
    return {};
  const auto foundation =
      std::find_if(kFoundations.begin(), kFoundations.end(),
                   [&](const TFoundation& each) { return source.starts_with(each.folder); });
  if (foundation == kFoundations.end() || included.find('/') == std::string::npos)
    return {};
  if (!included.starts_with(foundation->folder) && !StartsWithAny(included, foundation->below))
    return foundation->folder + " includes a layer above it";
  return {};
}

std::vector<std::string> Violations(const fs::path& root) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::vector<std::string> found;
  for (const std::string& folder : kProductFolders) {
    if (!fs::is_directory(root / folder))
      continue;
    for (const auto& item : fs::recursive_directory_iterator(root / folder)) {
      if (!item.is_regular_file() || !IsSource(item.path()))
        continue;
      const std::string source = fs::relative(item.path(), root).generic_string();
      std::ifstream in(item.path());
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        std::smatch match;
        if (!std::regex_search(line, match, kInclude))
          continue;
        const std::string reason = Refusal(source, match[2], match[1] == "<");
        if (!reason.empty())
          found.push_back(source + ":" + std::to_string(number) + ": " + line + "  (" + reason +
                          ")");
      }
    }
  }
  return found;
}

std::string Listed(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

TEST(IncludeLayers, SourceTreeKeepsItsLayers) {
  const auto violations = Violations(TOMELET_SOURCE_DIR);
  EXPECT_TRUE(violations.empty()) << Listed(violations);
}

class ForbiddenIncludes : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "layers-test-XXXXXX").native();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& file, const std::string& text) {
    fs::create_directories((root_ / file).parent_path());
    std::ofstream(root_ / file) << text;
  }

  fs::path root_;
};

TEST_F(ForbiddenIncludes, AreEachFoundWithTheirPlace) {
  Write("tools/tomelet/Cmd.cpp", "#include \"Unit1/Form1Logic.h\"\n#include \"document/X.h\"\n");
  Write("serve/Site.cpp",
        "  #  include \"OurNSHandler/OurNSHandler.h\"\n#include \"library/L.h\"\n");
  Write("tools/tomelet/ServeCommand.cpp", "#include \"serve/DocumentServer.h\"\n");
  Write("document/Core.cpp", "#include \"ZLIBArchive2/ZLIBArchive2.h\"\n#include \"search/I.h\"\n");
  Write("ZLIBArchive2/Reader.cpp", "#include \"document/DocumentAddress.h\"\n");
  Write("search/Index.cpp", "#include \"library/Library.h\"\n#include \"document/X.h\"\n");
  Write("library/Shelf.cpp", "#include \"serve/DocumentSite.h\"\n");
  Write("serve/Command.cpp", "#include \"tools/tomelet/CommandSupport.h\"\n");
  Write("bookmarks/Store.cpp",
        "#include \"platform/files/AtomicFile.h\"\n#include \"Unit1/TestTrace.h\"\n");
  Write("Unit1/Form1Startup.cpp", "#include <gtkmm.h>\n");
  Write("Unit1/window/Form1.cpp", "#include <gtkmm.h>\n#include <webkit2/webkit2.h>\n");
  Write("viewer/main.cpp", "#include <gtkmm.h>\n#include <webkit2/webkit2.h>\n");
  Write("OurNSHandler/Handler.cpp", "#include <gtk/gtk.h>\n#include \"Unit1/Form1Logic.h\"\n");
  Write("SecurityManager/Policy.cpp", "#include \"WebHost/HostPolicy.h\"\n");
  Write("WebHost/Bridge.cpp",
        "#include \"SecurityManager/S.h\"\n#include \"OurNSHandler/OurNSHandler.h\"\n");
  Write("Unit1/Form1Logic.cpp", "#include \"OurNSHandler/O.h\"\n#include \"WebHost/Commands.h\"\n");
  Write("Unit1/window/Dialogs.cpp",
        "#include \"WebHost/Commands.h\"\n#include \"Unit1/Form1Logic.h\"\n");
  const auto violations = Violations(root_);
  ASSERT_EQ(violations.size(), 15u) << Listed(violations);
  const std::string text = Listed(violations);
  for (const char* place :
       {"tools/tomelet/Cmd.cpp:1:", "serve/Site.cpp:1:", "document/Core.cpp:2:",
        "ZLIBArchive2/Reader.cpp:1:", "search/Index.cpp:1:", "library/Shelf.cpp:1:",
        "bookmarks/Store.cpp:2:", "Unit1/Form1Startup.cpp:1:", "viewer/main.cpp:2:",
        "OurNSHandler/Handler.cpp:1:", "serve/Command.cpp:1:", "OurNSHandler/Handler.cpp:2:",
        "SecurityManager/Policy.cpp:1:", "WebHost/Bridge.cpp:2:", "Unit1/Form1Logic.cpp:2:"}) {
    EXPECT_NE(text.find(place), std::string::npos) << place << "\n" << text;
  }
}

}  // namespace
}  // namespace tomelet
