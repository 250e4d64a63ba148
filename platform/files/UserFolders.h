// The user's own folders as the XDG base directory rules name them, chosen the one way every part
// of the program shares: remembered places, bookmarks, the index cache and desktop integration.
#pragma once

#include <filesystem>

namespace tomelet {

enum class TUserFolder {
  Data,   // $XDG_DATA_HOME, else ~/.local/share
  State,  // $XDG_STATE_HOME, else ~/.local/state
  Cache,  // $XDG_CACHE_HOME, else ~/.cache
};

// The variable when it holds an absolute path (the rules ignore a relative one), else its
// fallback under $HOME; empty when neither is set. Never throws.
std::filesystem::path UserFolder(TUserFolder kind);

}  // namespace tomelet
