// What a library watches: every file of its folders as it appears, changes or goes, and each
// served path by its name in the folder it lies in, so that a folder renamed away or moved back
// and a file written anew are seen too.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tomelet::library {

class TFolderWatch {
 public:
  // Throws std::runtime_error "Cannot watch the served folders: <reason>".
  TFolderWatch();
  ~TFolderWatch();
  TFolderWatch(const TFolderWatch&) = delete;
  TFolderWatch& operator=(const TFolderWatch&) = delete;

  // Watches the folders, and each served path in its parent; watching a folder again only
  // updates its watch, so this is called again after every look at the folders.
  void Watch(const std::vector<std::filesystem::path>& folders,
             const std::vector<std::filesystem::path>& served);

  enum class TWoken { Changed, Asked, TimedOut };
  // Waits for a change that matters, which is let settle for a moment (a copy writes, closes and
  // renames in a burst), for Wake, or until timeoutMilliseconds have passed (negative: no end).
  TWoken Wait(int timeoutMilliseconds);
  // Ends a Wait under way, or the next one. Safe from any thread.
  void Wake();

 private:
  // Reads the events waiting; true when one of them matters.
  bool ReadEvents();

  int inotify_ = -1;
  int wake_ = -1;
  std::set<int> folders_;
  // Watches on the folders served paths lie in, with the names that matter in each.
  std::map<int, std::set<std::string>> parents_;
};

}  // namespace tomelet::library
