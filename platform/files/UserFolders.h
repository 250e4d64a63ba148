// The user's own folders as the XDG base directory rules name them, chosen the one way every part
// of the program shares: remembered places, bookmarks, the index cache and desktop integration.
#pragma once

#include <filesystem>
#include <vector>

namespace tomelet {

enum class TUserFolder {
  Data,    // $XDG_DATA_HOME, else ~/.local/share
  State,   // $XDG_STATE_HOME, else ~/.local/state
  Cache,   // $XDG_CACHE_HOME, else ~/.cache
  Config,  // $XDG_CONFIG_HOME, else ~/.config
};

// The variable when it holds an absolute path (the rules ignore a relative one), else its
// fallback under $HOME; empty when neither is set. Never throws.
std::filesystem::path UserFolder(TUserFolder kind);

// The folders where packages put shared data: the absolute ones of $XDG_DATA_DIRS in its order,
// else /usr/local/share and /usr/share. Never throws.
std::vector<std::filesystem::path> SystemDataFolders();

}  // namespace tomelet
