#include "search/IndexCache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tomelet::search {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIndexSuffix = ".index";
// No build takes this long, so a temporary file this old was left by one that was interrupted.
constexpr std::chrono::hours kLeftoverAge{24};
// Pruning goes by days, so a use within the hour need not be marked again.
constexpr std::chrono::hours kMarkedFor{1};

struct TCachedFile {
  fs::path Path;
  fs::file_time_type LastUsed;
  std::uintmax_t Size = 0;
};

bool IsIndexName(const std::string& name) {
  return name.size() > kIndexSuffix.size() && name.ends_with(kIndexSuffix);
}

// WriteCacheFile's temporary names: the index's name, ".", six characters of mkstemp.
bool IsLeftoverName(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot != std::string::npos && name.size() - dot == 7 && IsIndexName(name.substr(0, dot));
}

std::uintmax_t SizeOf(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

void Remove(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

// The indexes of the folder, most recently used first; old leftovers are removed on the way.
std::vector<TCachedFile> ListIndexes(const fs::path& folder, const fs::path& keep,
                                     fs::file_time_type now) {
  std::vector<TCachedFile> indexes;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(folder, error)) {
    const std::string name = item.path().filename().string();
    std::error_code statusError;
    if (!item.is_regular_file(statusError) || item.path() == keep) {
      continue;
    }
    const auto lastUsed = item.last_write_time(statusError);
    if (statusError) {
      continue;
    }
    if (IsLeftoverName(name) && now - lastUsed > kLeftoverAge) {
      Remove(item.path());
    } else if (IsIndexName(name)) {
      indexes.push_back({item.path(), lastUsed, SizeOf(item.path())});
    }
  }
  std::sort(indexes.begin(), indexes.end(),
            [](const TCachedFile& a, const TCachedFile& b) { return a.LastUsed > b.LastUsed; });
  return indexes;
}

}  // namespace

void MarkIndexUsed(const fs::path& index) {
  std::error_code error;
  const auto lastUsed = fs::last_write_time(index, error);
  if (!error && fs::file_time_type::clock::now() - lastUsed < kMarkedFor) {
    return;
  }
  const struct timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
  ::utimensat(AT_FDCWD, index.c_str(), now, 0);
}

void PruneIndexCache(const fs::path& folder, const fs::path& keep,
                     const TIndexCacheLimits& limits) {
  const auto now = fs::file_time_type::clock::now();
  std::uintmax_t total = SizeOf(keep);
  for (const auto& index : ListIndexes(folder, keep, now)) {
    total += index.Size;
    if (now - index.LastUsed > limits.MaxIdle || total > limits.MaxBytes) {
      Remove(index.Path);
      total -= index.Size;
    }
  }
}

}  // namespace tomelet::search
