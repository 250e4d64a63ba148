#include "platform/files/UserFolders.h"

#include <cstdlib>
#include <sstream>
#include <string>

namespace tomelet {

namespace {

struct TRule {
  const char* Variable;
  const char* Fallback;  // below $HOME
};

TRule RuleOf(TUserFolder kind) {
  switch (kind) {
    case TUserFolder::Data:
      return {"XDG_DATA_HOME", ".local/share"};
    case TUserFolder::State:
      return {"XDG_STATE_HOME", ".local/state"};
    case TUserFolder::Config:
      return {"XDG_CONFIG_HOME", ".config"};
    case TUserFolder::Cache:
      break;
  }
  return {"XDG_CACHE_HOME", ".cache"};
}

}  // namespace

std::filesystem::path UserFolder(TUserFolder kind) {
  const TRule rule = RuleOf(kind);
  if (const char* set = std::getenv(rule.Variable); set != nullptr && *set == '/') {
    return set;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::filesystem::path(home) / rule.Fallback;
  }
  return {};
}

std::vector<std::filesystem::path> SystemDataFolders() {
  const char* set = std::getenv("XDG_DATA_DIRS");
  std::istringstream list(set != nullptr && *set != '\0' ? set : "/usr/local/share:/usr/share");
  std::vector<std::filesystem::path> folders;
  for (std::string folder; std::getline(list, folder, ':');) {
    if (!folder.empty() && folder.front() == '/') {
      folders.emplace_back(folder);
    }
  }
  return folders;
}

}  // namespace tomelet
