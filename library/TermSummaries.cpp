#include "library/TermSummaries.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
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
// times are read only then: the folder is listed once the summaries waiting are stored.
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

// The folder is made when the summary is queued: one removed since (a cleared cache) is not
// made again.
void Store(const fs::path& path, const TFileIdentity& document,
           const search::TTermSummary& summary) {
  std::error_code error;
  if (fs::is_directory(path.parent_path(), error)) {
    WriteFileAtomically(path, IdentityBytes(document) + summary.Bytes());
  }
}

// The summaries waiting to be stored, written one after another on a thread of its own, which
// then never contends with another writer for the folder. Those still waiting when the program
// ends are stored before it does.
class TSummaryWriter {
 public:
  TSummaryWriter() = default;
  ~TSummaryWriter() {
    {
      const std::lock_guard guard(lock_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
      thread_.join();
    }
  }
  TSummaryWriter(const TSummaryWriter&) = delete;
  TSummaryWriter& operator=(const TSummaryWriter&) = delete;

  void Queue(const TFileIdentity& document, std::shared_ptr<const search::TTermSummary> summary) {
    auto path = StoredPath(document);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::unique_lock guard(lock_);
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { Write(); });
      } catch (const std::system_error&) {
        guard.unlock();
        Store(path, document, *summary);
        RemoveOldest(path.parent_path());
        return;
      }
    }
    waiting_.push_back({std::move(path), document, std::move(summary)});
    wake_.notify_all();
  }

  void Finish() {
    std::unique_lock guard(lock_);
    stored_.wait(guard, [this] { return waiting_.empty() && !writing_; });
  }

 private:
  void Write() {
    std::unique_lock guard(lock_);
    for (;;) {
      wake_.wait(guard, [this] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) {
        return;
      }
      const TWaiting waiting = std::move(waiting_.front());
      waiting_.pop_front();
      writing_ = true;
      guard.unlock();
      Store(waiting.Path, waiting.Document, *waiting.Summary);
      guard.lock();
      if (waiting_.empty()) {
        guard.unlock();
        RemoveOldest(waiting.Path.parent_path());
        guard.lock();
      }
      writing_ = false;
      stored_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable stored_;
  struct TWaiting {
    fs::path Path;
    TFileIdentity Document;
    std::shared_ptr<const search::TTermSummary> Summary;
  };
  std::deque<TWaiting> waiting_;
  bool writing_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

TSummaryWriter& Writer() {
  static TSummaryWriter writer;
  return writer;
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

void StoreSummary(const TFileIdentity& document,
                  std::shared_ptr<const search::TTermSummary> summary) {
  Writer().Queue(document, std::move(summary));
}

void FinishStoringSummaries() {
  Writer().Finish();
}

}  // namespace tomelet::library
