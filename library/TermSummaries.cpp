#include "library/TermSummaries.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files/AtomicFile.h"
#include "platform/text/Fnv1a.h"
#include "search/DocumentIndex.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

// A summary of a whole manual is a few hundred kilobytes; anything much larger is no summary.
constexpr std::uintmax_t kLargestStored = std::uintmax_t{16} << 20;
constexpr std::size_t kMostStored = 4096;

// The identity as stored at the head of the file, which must match it whole.
std::string IdentityBytes(const TFileIdentity& document) {
  const std::array<std::int64_t, 5> fields = {
      static_cast<std::int64_t>(document.Device), static_cast<std::int64_t>(document.Inode),
      document.Size, Nanoseconds(document.Modified), Nanoseconds(document.StatusChanged)};
  return {reinterpret_cast<const char*>(fields.data()), sizeof fields};
}

fs::path Folder() {
  return search::IndexCacheFolder() / "terms";
}

fs::path StoredPath(const TFileIdentity& document) {
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.terms",
                static_cast<unsigned long long>(Fnv1a(IdentityBytes(document))));
  return Folder() / name;
}

// The oldest beyond kMostStored go, so the summaries of changed documents do not pile up. Their
// times are read only then: the folder is listed at every store.
void RemoveOldest(const fs::path& folder) {
  std::error_code error;
  std::vector<fs::path> stored;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".terms") {
      stored.push_back(entry.path());
    }
  }
  if (stored.size() <= kMostStored) {
    return;
  }
  std::vector<std::pair<fs::file_time_type, fs::path>> byAge;
  for (auto& path : stored) {
    byAge.emplace_back(fs::last_write_time(path, error), std::move(path));
  }
  const auto excess = static_cast<std::ptrdiff_t>(byAge.size() - kMostStored);
  std::nth_element(byAge.begin(), byAge.begin() + excess, byAge.end());
  for (auto it = byAge.begin(); it != byAge.begin() + excess; ++it) {
    fs::remove(it->second, error);
  }
}

}  // namespace

std::shared_ptr<const search::TTermSummary> ReadStoredSummary(const TFileIdentity& document) {
  const auto bytes = ReadSmallFile(StoredPath(document), kLargestStored);
  const std::string identity = IdentityBytes(document);
  if (!bytes || !bytes->starts_with(identity)) {
    return nullptr;
  }
  auto summary = search::TTermSummary::FromBytes(std::string_view(*bytes).substr(identity.size()));
  return summary ? std::make_shared<const search::TTermSummary>(std::move(*summary)) : nullptr;
}

void StoreSummary(const TFileIdentity& document, const search::TTermSummary& summary) {
  const auto path = StoredPath(document);
  if (WriteFileAtomically(path, IdentityBytes(document) + summary.Bytes())) {
    RemoveOldest(path.parent_path());
  }
}

}  // namespace tomelet::library
