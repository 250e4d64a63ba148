#include "shelf/ShelfSettings.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/files/AtomicFile.h"
#include "platform/files/UserFolders.h"

namespace tomelet::shelf {
namespace {

using nlohmann::json;

constexpr int kSettingsVersion = 1;

json TabsJson(const std::vector<TShelfTab>& tabs) {
  json list = json::array();
  for (const auto& tab : tabs)
    list.push_back({{"document", tab.Document}, {"address", tab.Address}});
  return list;
}

json GroupsJson(const std::map<std::string, std::set<std::string>>& groups) {
  json object = json::object();
  for (const auto& [name, documents] : groups)
    object[name] = documents;
  return object;
}

TShelfSettings FromJson(const json& text) {
  if (text.at("version").get<int>() != kSettingsVersion)
    throw std::runtime_error("unknown version");
  TShelfSettings settings;
  for (const auto& folder : text.at("folders"))
    settings.AddedFolders.emplace_back(folder.get<std::string>());
  settings.DocumentsOff = text.at("documentsOff").get<std::set<std::string>>();
  for (const auto& [name, documents] : text.at("groups").items())
    settings.Groups[name] = documents.get<std::set<std::string>>();
  settings.GroupsOff = text.at("groupsOff").get<std::set<std::string>>();
  for (const auto& tab : text.at("tabs"))
    settings.Tabs.push_back(
        {tab.at("document").get<std::string>(), tab.at("address").get<std::string>()});
  settings.CurrentTab = text.at("currentTab").get<std::size_t>();
  settings.InstalledBooks = text.value("installedBooks", true);
  return settings;
}

}  // namespace

bool TShelfSettings::IsSearched(const std::string& document) const {
  if (DocumentsOff.contains(document))
    return false;
  for (const auto& name : GroupsOff) {
    const auto group = Groups.find(name);
    if (group != Groups.end() && group->second.contains(document))
      return false;
  }
  return true;
}

std::filesystem::path DefaultSettingsFile() {
  const auto config = UserFolder(TUserFolder::Config);
  return config.empty() ? config : config / "tomelet" / "shelf.json";
}

TShelfSettings ReadShelfSettings(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in)
    return {};
  std::stringstream text;
  text << in.rdbuf();
  try {
    return FromJson(json::parse(text.str()));
  } catch (const std::exception&) {
    std::error_code ignored;
    std::filesystem::rename(file, file.string() + ".damaged", ignored);
    return {};
  }
}

bool WriteShelfSettings(const std::filesystem::path& file, const TShelfSettings& settings) {
  json folders = json::array();
  for (const auto& folder : settings.AddedFolders)
    folders.push_back(folder.string());
  const json text = {
      {"version", kSettingsVersion},           {"folders", folders},
      {"documentsOff", settings.DocumentsOff}, {"groups", GroupsJson(settings.Groups)},
      {"groupsOff", settings.GroupsOff},       {"tabs", TabsJson(settings.Tabs)},
      {"currentTab", settings.CurrentTab},     {"installedBooks", settings.InstalledBooks}};
  return WriteFileAtomically(file, text.dump(2) + "\n");
}

}  // namespace tomelet::shelf
