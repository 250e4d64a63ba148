// One share of the pages being indexed, into a database of its own. The builder deals pages out
// to a fixed number of shares, which its threads take one after another as they free up, the
// others reading and terming their pages ahead, and merges their databases: the index takes
// every core, and its bytes still never depend on how many there are.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "search/CountedSections.h"
#include "search/HtmlText.h"
#include "search/IndexFormat.h"
#include "search/SearchIndex.h"
#include "search/SectionTerms.h"

namespace tomelet::search {

struct TNumberedPage {
  std::uint64_t Number = 0;
  format::TPageEntry Entry;
};

// The bytes of pages waiting in every share together, held to a bound so that memory stays
// bounded however many shares there are.
class TQueuedBytes {
 public:
  explicit TQueuedBytes(std::size_t most) : most_(most) {}
  // Waits while the bound is reached; a page larger than the bound waits for an empty queue.
  void Take(std::size_t bytes);
  void Give(std::size_t bytes);

 private:
  const std::size_t most_;
  std::size_t queued_ = 0;
  std::mutex lock_;
  std::condition_variable changed_;
};

class TIndexShare {
 public:
  // Share number `share` of the builder; its section records are stored under its number.
  // pageRead, when set, gets each page as read, on the thread indexing the share. Up to
  // heldTermBytes of its sections' terms wait in memory for AddDocuments, the rest in a file
  // beside the database.
  TIndexShare(const std::filesystem::path& database, const std::string& language,
              std::uint64_t share, TPageReadHandler pageRead, TQueuedBytes& queued,
              std::size_t heldTermBytes);
  TIndexShare(const TIndexShare&) = delete;
  TIndexShare& operator=(const TIndexShare&) = delete;

  // Queues page number `number`, waiting for room in the queue; dropped once indexing failed.
  void Add(std::uint64_t number, std::string archivePath, std::string html);
  // The share takes no more pages.
  void Close();
  // Closes the share and forgets the pages still queued, for a build given up.
  void Drop();
  // Indexes the pages as they are queued until the share is closed and none is left, keeping
  // their sections' terms for AddDocuments; on the calling thread, one thread a share. Never
  // throws: a failure is kept for Finish.
  void IndexQueued();
  // Reads and terms one queued page ahead of the thread indexing the share, with the calling
  // thread's terms, a few megabytes ahead of it at most; waits for one while pages may still be
  // queued, false once none is left. Never throws: the page is then read again by the share's
  // own thread.
  bool ReadAhead(TSectionTerms& terms);
  // After IndexQueued: throws what indexing threw; otherwise returns the pages of this share.
  std::vector<TNumberedPage> Finish();
  std::uint64_t SectionCount() const { return sections_; }
  // Before AddDocuments: the sum of the sections' lengths, each the sum of its terms' counts.
  std::uint64_t SectionsLength() const { return counted_.Length(); }
  // After IndexQueued, on one thread: adds the sections' documents, their counts weighed against
  // the average length of every share's sections.
  void AddDocuments(double averageLength);
  // Page and number of sections of each run of its sections of one page, as kSectionPagesKey
  // lists them.
  const std::vector<std::uint64_t>& SectionRuns() const { return sectionRuns_; }
  // Each id of a defined name with the section (counted from 0 in this share) defining it.
  const std::vector<std::pair<std::string, std::uint64_t>>& Definitions() const {
    return definitions_;
  }
  // Each heading's key (HeadingKey) with the section (counted from 0 in this share) it heads.
  const std::vector<std::pair<std::string, std::uint64_t>>& Headings() const { return headings_; }
  // The stems of this share's sections as format::kFoldedApartKey lists them.
  const std::set<std::string>& FoldedApart() const { return foldedApart_; }
  // Writes the database with the metadata given and closes it.
  void Write(const std::vector<std::pair<std::string, std::string>>& metadata);

 private:
  struct TQueuedPage {
    std::uint64_t Number;
    std::string Path;
    std::string Html;
    std::optional<TTermedPage> Termed;  // read ahead by another thread
    bool Taken = false;                 // by another thread to read ahead, once only
    bool Reading = false;               // by that thread, right now
  };
  using TQueue = std::deque<std::shared_ptr<TQueuedPage>>;
  bool NextPage(std::shared_ptr<TQueuedPage>& page);
  struct TUnread {
    TQueue::iterator Page;  // the queue's end when none
    bool PastWindow;        // pages are queued past the window, none of them read yet
  };
  TUnread NextUnread();
  TPageText ReadPage(const TQueuedPage& page);
  void Fail();
  void GiveBack(const TQueue& pages);
  void IndexPage(TQueuedPage& page);
  void AddSection(std::uint64_t page, const TPageSection& section, format::TCountedTerms terms,
                  bool generated);
  void StoreBlock();

  std::unique_ptr<Xapian::WritableDatabase> database_;
  TSectionTerms terms_;  // of the share's own thread
  std::uint64_t share_;
  TPageReadHandler pageRead_;
  std::uint64_t sections_ = 0;
  TCountedSections counted_;  // until AddDocuments
  std::vector<std::uint64_t> sectionRuns_;
  std::vector<format::TSectionRecord> block_;
  std::vector<std::pair<std::string, std::uint64_t>> definitions_;
  std::vector<std::pair<std::string, std::uint64_t>> headings_;
  std::set<std::string> foldedApart_;
  std::vector<TNumberedPage> pages_;

  TQueuedBytes& queuedBytes_;
  std::mutex lock_;
  std::condition_variable changed_;
  TQueue queue_;
  bool closed_ = false;
  std::exception_ptr failure_;
};

}  // namespace tomelet::search
