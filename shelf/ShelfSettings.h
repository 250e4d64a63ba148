// What the reader sets on the shelf, kept between runs: the folders added, the documents and the
// named groups of documents switched off for searching, the tabs left open, and whether the
// installed books are shown.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tomelet::shelf {

// One tab of the shelf window as it is reopened.
struct TShelfTab {
  std::string Document;  // the document's file; empty for a tab of the shelf itself
  std::string Address;   // the page shown ("tome://inpack/..."); empty for the start page

  bool operator==(const TShelfTab&) const = default;
};

struct TShelfSettings {
  std::vector<std::filesystem::path> AddedFolders;
  // Files of documents switched off for searching.
  std::set<std::string> DocumentsOff;
  // Named groups of documents, by their files.
  std::map<std::string, std::set<std::string>> Groups;
  std::set<std::string> GroupsOff;
  std::vector<TShelfTab> Tabs;
  std::size_t CurrentTab = 0;
  // Whether the books that packages install for the desktop's documentation browser are on the
  // shelf too.
  bool InstalledBooks = true;

  bool operator==(const TShelfSettings&) const = default;

  // Whether a search across the shelf looks into the document: neither it nor a group it is in
  // was switched off.
  bool IsSearched(const std::string& document) const;
};

// $XDG_CONFIG_HOME/tomelet/shelf.json, else ~/.config/tomelet/shelf.json; empty when neither
// variable gives an absolute folder.
std::filesystem::path DefaultSettingsFile();

// The settings in file; a file that is missing, unreadable or not such settings gives the
// defaults, and a damaged one is moved aside to "<file>.damaged" so that no save replaces it
// unseen.
TShelfSettings ReadShelfSettings(const std::filesystem::path& file);
// Written at once or not at all; false when it could not be written.
bool WriteShelfSettings(const std::filesystem::path& file, const TShelfSettings& settings);

}  // namespace tomelet::shelf
