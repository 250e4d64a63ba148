#include "search/IndexShare.h"

#include <algorithm>
#include <iterator>

#include "search/HtmlText.h"
#include "search/SearchIndex.h"
#include "search/Snippet.h"

namespace tomelet::search {
namespace {

// Xapian holds every section's postings in memory until a commit, in maps whose lookups slow as
// they grow; committing this often keeps them small. The index's bytes are the same whatever the
// count, since the shares are compacted into new tables.
constexpr std::uint64_t kSectionsPerCommit = 2000;
// How far into the queue, in bytes of HTML, other threads read and term pages ahead of the
// share's thread.
constexpr std::size_t kTermingWindow = std::size_t{4} << 20;
// And in pages, so that finding the page to read costs little however small the pages are.
constexpr std::size_t kTermingWindowPages = 256;

}  // namespace

void TQueuedBytes::Take(std::size_t bytes) {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return queued_ < most_; });
  queued_ += bytes;
}

void TQueuedBytes::Give(std::size_t bytes) {
  {
    const std::lock_guard guard(lock_);
    queued_ -= bytes;
  }
  changed_.notify_all();
}

TIndexShare::TIndexShare(const std::filesystem::path& database, const std::string& language,
                         std::uint64_t share, TPageReadHandler pageRead, TQueuedBytes& queued,
                         std::size_t heldTermBytes)
    : database_(std::make_unique<Xapian::WritableDatabase>(
          database.string(),
          // A scratch database, read once by the merge: nothing to make durable.
          Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS | Xapian::DB_NO_TERMLIST |
              Xapian::DB_NO_SYNC)),
      terms_(language),
      share_(share),
      pageRead_(std::move(pageRead)),
      counted_(database.string() + "-counted", heldTermBytes),
      queuedBytes_(queued) {}

void TIndexShare::Add(std::uint64_t number, std::string archivePath, std::string html) {
  const std::size_t bytes = html.size();
  queuedBytes_.Take(bytes);
  {
    const std::lock_guard guard(lock_);
    if (!failure_) {
      queue_.push_back(std::make_shared<TQueuedPage>(
          TQueuedPage{number, std::move(archivePath), std::move(html), std::nullopt}));
      changed_.notify_all();
      return;
    }
  }
  queuedBytes_.Give(bytes);
}

void TIndexShare::Close() {
  {
    const std::lock_guard guard(lock_);
    closed_ = true;
  }
  changed_.notify_all();
}

void TIndexShare::Drop() {
  TQueue dropped;
  {
    const std::lock_guard guard(lock_);
    closed_ = true;
    dropped.swap(queue_);
  }
  changed_.notify_all();
  GiveBack(dropped);
}

bool TIndexShare::NextPage(std::shared_ptr<TQueuedPage>& page) {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return queue_.empty() ? closed_ : !queue_.front()->Reading; });
  if (queue_.empty()) {
    return false;
  }
  page = std::move(queue_.front());
  queue_.pop_front();
  guard.unlock();
  changed_.notify_all();
  queuedBytes_.Give(page->Html.size());
  return true;
}

// The furthest page the share's thread has not reached within the next few megabytes of the
// queue: far enough that the threads seldom meet on a page, near enough that the pages termed
// ahead, whose documents take a few times their bytes, stay few. Never the next page, which the
// share's thread would otherwise wait for. The window only moves on, so the pages past it are
// all still unread.
TIndexShare::TUnread TIndexShare::NextUnread() {
  TUnread unread{queue_.end(), false};
  std::size_t bytes = 0;
  std::size_t pages = 0;
  auto page = queue_.begin();
  for (; page != queue_.end() && bytes < kTermingWindow && pages < kTermingWindowPages; ++page) {
    bytes += (*page)->Html.size();
    if (pages++ > 0 && !(*page)->Taken) {
      unread.Page = page;
    }
  }
  unread.PastWindow = page != queue_.end();
  return unread;
}

bool TIndexShare::ReadAhead(TSectionTerms& terms) {
  std::unique_lock guard(lock_);
  TUnread unread = NextUnread();
  while (!failure_ && unread.Page == queue_.end() && (!closed_ || unread.PastWindow)) {
    changed_.wait(guard);
    unread = NextUnread();
  }
  if (failure_ || unread.Page == queue_.end()) {
    return false;
  }
  const std::shared_ptr<TQueuedPage> page = *unread.Page;
  page->Taken = true;
  page->Reading = true;
  guard.unlock();
  std::optional<TTermedPage> termed;
  try {
    termed = terms.Terms(ReadPage(*page), page->Path);
  } catch (...) {
    // Left unread: the share's own thread reads it again and keeps what that throws.
  }
  guard.lock();
  page->Termed = std::move(termed);
  page->Reading = false;
  changed_.notify_all();
  return true;
}

void TIndexShare::IndexQueued() {
  try {
    for (std::shared_ptr<TQueuedPage> page; NextPage(page);) {
      IndexPage(*page);
    }
    if (!block_.empty()) {
      StoreBlock();
    }
    database_->commit();
  } catch (...) {
    Fail();
  }
}

void TIndexShare::Fail() {
  TQueue dropped;
  {
    const std::lock_guard guard(lock_);
    failure_ = std::current_exception();
    dropped.swap(queue_);
  }
  changed_.notify_all();
  GiveBack(dropped);
}

void TIndexShare::GiveBack(const TQueue& pages) {
  for (const auto& page : pages) {
    queuedBytes_.Give(page->Html.size());
  }
}

std::vector<TNumberedPage> TIndexShare::Finish() {
  if (failure_) {
    std::rethrow_exception(failure_);
  }
  return std::move(pages_);
}

void TIndexShare::Write(const std::vector<std::pair<std::string, std::string>>& metadata) {
  for (const auto& [key, value] : metadata) {
    database_->set_metadata(key, value);
  }
  database_->commit();
  database_.reset();
}

TPageText TIndexShare::ReadPage(const TQueuedPage& queued) {
  TPageText page = ExtractPageText(queued.Html);
  if (pageRead_) {
    pageRead_(queued.Number, queued.Path, page);
  }
  return page;
}

void TIndexShare::IndexPage(TQueuedPage& queued) {
  TTermedPage page =
      queued.Termed ? std::move(*queued.Termed) : terms_.Terms(ReadPage(queued), queued.Path);
  pages_.push_back({queued.Number, {queued.Path, page.Title, page.Text.IsGeneratedIndex}});
  foldedApart_.insert(page.FoldedApart.begin(), page.FoldedApart.end());
  for (std::size_t i = 0; i < page.Sections.size(); ++i) {
    if (page.Sections[i]) {
      AddSection(queued.Number, page.Text.Sections[i], std::move(*page.Sections[i]),
                 page.Text.IsGeneratedIndex);
    }
  }
}

void TIndexShare::AddSection(std::uint64_t page, const TPageSection& section,
                             format::TCountedTerms terms, bool generated) {
  if (!generated) {
    // A name typed as a query finds where it is defined, not every topic titled with it.
    for (const auto& id : section.IsDefinition ? section.Ids : std::vector<std::string>{}) {
      definitions_.emplace_back(id, sections_);
    }
    if (std::string key = format::HeadingKey(section.Heading); section.Level > 0 && !key.empty()) {
      headings_.emplace_back(std::move(key), sections_);
    }
  }
  if (sectionRuns_.empty() || sectionRuns_[sectionRuns_.size() - 2] != page) {
    sectionRuns_.insert(sectionRuns_.end(), {page, 0});
  }
  ++sectionRuns_.back();
  counted_.Add(std::move(terms));
  ++sections_;
  if (section.Lead && section.Lead->End > section.Lead->Start &&
      section.Lead->End - section.Lead->Start <= format::kMaxLeadBytes) {
    block_.push_back(
        {page, section.Anchor, {}, section.Lead->Start, section.Lead->End - section.Lead->Start});
  } else {
    block_.push_back(
        {page, section.Anchor, SnippetText(ShownText(section), format::kStoredTextBytes)});
  }
  if (block_.size() == format::kSectionsPerBlock) {
    StoreBlock();
  }
}

void TIndexShare::AddDocuments(double averageLength) {
  std::uint64_t added = 0;
  counted_.Drain([&](const format::TCountedTerms& terms) {
    database_->add_document(format::WeighedDocument(terms, averageLength));
    if (++added % kSectionsPerCommit == 0) {
      database_->commit();
    }
  });
  database_->commit();
}

void TIndexShare::StoreBlock() {
  database_->set_metadata(format::SectionBlockKey(share_, sections_ - block_.size()),
                          format::EncodeSectionBlock(block_));
  block_.clear();
}

}  // namespace tomelet::search
