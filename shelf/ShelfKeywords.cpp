#include "shelf/ShelfKeywords.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "document/Document.h"
#include "platform/files/FileIdentity.h"
#include "platform/text/AsciiCase.h"
#include "search/DocumentMapBuilder.h"

namespace tomelet::shelf {
namespace {

// How many keywords each document offers to one lookup, before they are merged.
constexpr std::size_t kKeywordsPerDocument = 50;

enum class TMatch { Equal, Begins, Word };

TMatch MatchOf(std::string_view term, std::string_view query) {
  if (EqualsFoldedAscii(term, query))
    return TMatch::Equal;
  return StartsWithFoldedAscii(term, query) ? TMatch::Begins : TMatch::Word;
}

int KindRank(TKeywordKind kind) {
  return kind == TKeywordKind::Definition ? 0 : kind == TKeywordKind::PageTitle ? 1 : 2;
}

struct TRanked {
  TMatch Match;
  int Kind;
  std::size_t Length;
  std::size_t Order;
  TKeywordHit Hit;

  bool operator<(const TRanked& other) const {
    return std::tie(Match, Kind, Length, Order) <
           std::tie(other.Match, other.Kind, other.Length, other.Order);
  }
};

// A document's keywords as they were read, and the file they were read from.
struct TRead {
  TFileIdentity Stamp;
  std::shared_ptr<const TDocumentMap> Map;  // null while still to be read
};

std::shared_ptr<const TDocumentMap> ReadMap(const library::TLibraryDocument& document) {
  // A protected document tells nothing of itself before its password is given.
  if (document.Facts().Protected)
    return std::make_shared<const TDocumentMap>();
  try {
    return search::OpenDocumentMap(*document.Archive(), document.StartPagePath());
  } catch (const std::exception&) {
    return std::make_shared<const TDocumentMap>();
  }
}

}  // namespace

struct TShelfKeywords::Impl {
  std::function<void()> onRead;
  std::mutex lock;
  std::condition_variable wake;
  std::map<std::string, TRead> read;
  std::deque<std::shared_ptr<library::TLibraryDocument>> queue;
  bool stopping = false;
  std::thread reader;

  // The map when it was read for this file as it is; queues it otherwise. Called locked.
  std::shared_ptr<const TDocumentMap> MapOf(
      const std::shared_ptr<library::TLibraryDocument>& document) {
    const std::string key = document->Path().string();
    auto found = read.find(key);
    if (found != read.end() && found->second.Stamp == document->Stamp())
      return found->second.Map;
    read[key] = {document->Stamp(), nullptr};
    queue.push_back(document);
    wake.notify_one();
    return nullptr;
  }

  void ReadQueued() {
    std::unique_lock guard(lock);
    while (true) {
      wake.wait(guard, [this] { return stopping || !queue.empty(); });
      if (stopping)
        return;
      auto document = std::move(queue.front());
      queue.pop_front();
      guard.unlock();
      auto map = ReadMap(*document);
      guard.lock();
      auto& entry = read[document->Path().string()];
      if (entry.Stamp == document->Stamp())
        entry.Map = std::move(map);
      if (onRead) {
        guard.unlock();
        onRead();
        guard.lock();
      }
    }
  }
};

TShelfKeywords::TShelfKeywords(std::function<void()> onRead) : impl_(std::make_unique<Impl>()) {
  impl_->onRead = std::move(onRead);
  impl_->reader = std::thread([impl = impl_.get()] { impl->ReadQueued(); });
}

TShelfKeywords::~TShelfKeywords() {
  {
    const std::lock_guard guard(impl_->lock);
    impl_->stopping = true;
  }
  impl_->wake.notify_all();
  impl_->reader.join();
}

void TShelfKeywords::Prepare(const library::TDocumentList& documents) {
  const std::lock_guard guard(impl_->lock);
  for (const auto& document : documents)
    impl_->MapOf(document);
}

TKeywordResults TShelfKeywords::Lookup(const library::TDocumentList& documents,
                                       std::string_view query, std::size_t limit) {
  std::vector<std::pair<std::string, std::shared_ptr<const TDocumentMap>>> maps;
  TKeywordResults results;
  {
    const std::lock_guard guard(impl_->lock);
    for (const auto& document : documents) {
      if (auto map = impl_->MapOf(document))
        maps.emplace_back(document->Name(), std::move(map));
      else
        results.Reading.push_back(document->Name());
    }
  }
  std::vector<TRanked> ranked;
  for (std::size_t order = 0; order < maps.size(); ++order) {
    for (auto& keyword : maps[order].second->Keywords.Lookup(query, kKeywordsPerDocument)) {
      const TMatch match = MatchOf(keyword.Term, query);
      const int kind = KindRank(keyword.Kind);
      const std::size_t length = keyword.Term.size();
      ranked.push_back({match, kind, length, order, {maps[order].first, std::move(keyword)}});
    }
  }
  std::sort(ranked.begin(), ranked.end());
  // A name a source's index gives and the heading that shows it lead to one place: shown once.
  std::set<std::tuple<std::string, std::string, std::string>> places;
  for (auto& candidate : ranked) {
    if (results.Hits.size() == limit)
      break;
    const TKeywordHit& hit = candidate.Hit;
    if (places.emplace(hit.Document, hit.Keyword.Page, hit.Keyword.Anchor).second)
      results.Hits.push_back(std::move(candidate.Hit));
  }
  return results;
}

}  // namespace tomelet::shelf
