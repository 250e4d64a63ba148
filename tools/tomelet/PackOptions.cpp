#include "tools/tomelet/PackOptions.h"

#include <fstream>

#include "document/DocumentAddress.h"
#include "import/DocumentWriting.h"
#include "platform/text/AsciiCase.h"
#include "tools/tomelet/OptionsJson.h"

namespace tomelet::cli {
namespace {

// The file's keys; the output of `info --json` carries them under "options".
nlohmann::json ReadOptionKeys(const std::string& path) {
  if (path.empty())
    return nlohmann::json::object();
  std::ifstream in(path);
  if (!in)
    throw EOptionsError("Cannot read " + path);
  nlohmann::json keys;
  try {
    keys = nlohmann::json::parse(in);
  } catch (const nlohmann::json::parse_error& e) {
    throw EOptionsError(path + ": " + e.what());
  }
  if (keys.is_object() && keys.contains("trailer") && keys.contains("options"))
    keys = keys["options"].is_null() ? nlohmann::json::object() : keys["options"];
  return keys;
}

std::vector<std::string> ArchivePaths(const std::vector<PackFile>& files) {
  std::vector<std::string> paths;
  for (const auto& file : files)
    paths.push_back(file.archivePath);
  return paths;
}

// The viewer opens the start page's file name at the top of the document.
bool NamesAFile(const std::string& startPageOption, const std::vector<PackFile>& files) {
  const std::string path = StartPageArchivePath(startPageOption);
  for (const auto& file : files) {
    if (EqualsFoldedAscii(file.archivePath, path))
      return true;
  }
  return false;
}

}  // namespace

TProjectOptions PackOptions(const std::string& optionsFile, const std::vector<PackFile>& files,
                            const std::function<void(const std::string&)>& warn) {
  nlohmann::json keys = OptionsToJson(importer::UsableWindowOptions());
  keys.update(ReadOptionKeys(optionsFile));
  if (!keys.contains("StartPage") || keys["StartPage"] == "")
    keys["StartPage"] = importer::GuessStartPage(ArchivePaths(files));
  TProjectOptions options = OptionsFromJson(keys);
  const std::string startPageOption = options.StartPageOption();
  if (startPageOption.empty())
    warn(
        "no start page: the folder has no index.htm or index.html and more than one page at "
        "the top; name one as StartPage in --options");
  else if (!NamesAFile(startPageOption, files))
    warn("the start page \"" + startPageOption + "\" names no file of the folder");
  return options;
}

}  // namespace tomelet::cli
