#include "search/IndexShare.h"

#include <algorithm>
#include <iterator>

#include "platform/text/Accents.h"
#include "search/HtmlText.h"
#include "search/RememberingStemmer.h"
#include "search/SearchIndex.h"
#include "search/Snippet.h"

namespace tomelet::search {
namespace {

constexpr Xapian::termcount kTitleWeight = 3;
constexpr Xapian::termcount kHeadingWeight = 4;
// Snippets are cut from the start of each section, which is where its subject is named; keeping
// no more than one snippet shows holds the index to a fraction of the document.
// Xapian holds every section's postings in memory until a commit, in maps whose lookups slow as
// they grow; committing this often keeps them small. The index's bytes are the same whatever the
// count, since the shares are compacted into new tables.
constexpr std::uint64_t kSectionsPerCommit = 2000;
// Words repeat throughout a manual, and stemming each anew was a twentieth of the indexing time.
constexpr std::size_t kMostStemsRememberedWhileIndexing = 200000;

std::string PageTitle(const TPageText& page, const std::string& archivePath) {
  if (!page.Title.empty()) {
    return page.Title;
  }
  for (const auto& section : page.Sections) {
    if (!section.Heading.empty()) {
      return section.Heading;
    }
  }
  return archivePath.substr(archivePath.rfind('\\') + 1);
}

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
                         std::uint64_t share, TPageReadHandler pageRead, TQueuedBytes& queued)
    : database_(std::make_unique<Xapian::WritableDatabase>(
          database.string(),
          // A scratch database, read once by the merge: nothing to make durable.
          Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS | Xapian::DB_NO_TERMLIST |
              Xapian::DB_NO_SYNC)),
      stemmer_(new TRememberingStemmer(language, format::MakeStemmer(language),
                                       kMostStemsRememberedWhileIndexing)),
      share_(share),
      pageRead_(std::move(pageRead)),
      queuedBytes_(queued) {
  generator_.set_stemmer(stemmer_);
  // Stemmed forms only: unstemmed copies of every word would double the postings.
  generator_.set_stemming_strategy(Xapian::TermGenerator::STEM_ALL_Z);
  generator_.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  cjkGenerator_.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  cjkGenerator_.set_stemming_strategy(Xapian::TermGenerator::STEM_NONE);
  if (const Xapian::Stopper* stopper = format::SharedStopper(language)) {
    generator_.set_stopper(stopper);
    generator_.set_stopper_strategy(Xapian::TermGenerator::STOP_ALL);
  }
}

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
  queuedBytes_.Give(page->Html.size());
  return true;
}

// Pages are read from the back of the queue, as far as can be from the share's own thread.
bool TIndexShare::ReadAhead() {
  std::unique_lock guard(lock_);
  const auto unread =
      std::find_if(queue_.rbegin(), queue_.rend(), [](const auto& page) { return !page->Taken; });
  if (unread == queue_.rend()) {
    return false;
  }
  const std::shared_ptr<TQueuedPage> page = *unread;
  page->Taken = true;
  page->Reading = true;
  guard.unlock();
  std::optional<TPageText> text;
  try {
    text = ReadPage(*page);
  } catch (...) {
    // Left unread: the share's own thread reads it again and keeps what that throws.
  }
  guard.lock();
  page->Text = std::move(text);
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
  const TPageText page = queued.Text ? std::move(*queued.Text) : ReadPage(queued);
  const std::string title = PageTitle(page, queued.Path);
  pages_.push_back({queued.Number, {queued.Path, title, page.IsGeneratedIndex}});
  // The title's words go into every section: read once, copied with their weights.
  TPageTitle titled{title, {}};
  generator_.set_document(titled.Terms);
  generator_.index_text_without_positions(title, page.IsGeneratedIndex ? 1 : kTitleWeight);
  bool first = true;
  for (const auto& section : page.Sections) {
    IndexSection(queued.Number, titled, section, page.IsGeneratedIndex, first);
    first = false;
    if (page.IsGeneratedIndex) {
      break;
    }
  }
}

void TIndexShare::IndexSection(std::uint64_t page, const TPageTitle& title,
                               const TPageSection& section, bool generated, bool first) {
  if (section.Heading.empty() && section.Text.empty() && section.Ids.empty()) {
    return;
  }
  Xapian::Document document;
  for (auto term = title.Terms.termlist_begin(); term != title.Terms.termlist_end(); ++term) {
    document.add_term(*term, term.get_wdf());
  }
  generator_.set_document(document);
  if (!generated) {
    if (first) {
      generator_.index_text_without_positions(title.Text, 1, std::string(format::kTitlePrefix));
    }
    generator_.index_text_without_positions(section.Heading, kHeadingWeight);
    generator_.index_text_without_positions(section.Text);
    if (HasCjk(section.Heading) || HasCjk(section.Text)) {
      cjkGenerator_.set_document(document);
      cjkGenerator_.index_text_without_positions(section.Heading, kHeadingWeight);
      cjkGenerator_.index_text_without_positions(section.Text);
    }
    AddFoldedTerms(document, title, section);
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
  database_->add_document(document);
  if (++sections_ % kSectionsPerCommit == 0) {
    database_->commit();
  }
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

// Words with accents are found typed without them too ("resume" finds "résumé"): a section
// that has any gets the folded forms that it lacks as written, under a prefix of its own, so
// that the form typed still ranks first. A folded form it has as written is found as written,
// and adding it again would only make the section look twice as long to the ranking.
void TIndexShare::AddFoldedTerms(Xapian::Document& document, const TPageTitle& title,
                                 const TPageSection& section) {
  if (!HasAccents(title.Text) && !HasAccents(section.Heading) && !HasAccents(section.Text)) {
    return;
  }
  Xapian::Document folded;
  const std::string prefix(format::kFoldedPrefix);
  generator_.set_document(folded);
  generator_.index_text_without_positions(FoldAccents(title.Text), kTitleWeight, prefix);
  generator_.index_text_without_positions(FoldAccents(section.Heading), kHeadingWeight, prefix);
  generator_.index_text_without_positions(FoldAccents(section.Text), 1, prefix);
  for (auto term = folded.termlist_begin(); term != folded.termlist_end(); ++term) {
    const std::string form = *term;
    const std::string written = format::WrittenForm(form);
    auto found = document.termlist_begin();
    found.skip_to(written);
    if (found == document.termlist_end() || *found != written) {
      document.add_term(form, term.get_wdf());
      if (form.starts_with(format::kStemmedFoldedPrefix)) {
        foldedApart_.insert(form.substr(format::kStemmedFoldedPrefix.size()));
      }
    }
  }
}

void TIndexShare::StoreBlock() {
  database_->set_metadata(format::SectionBlockKey(share_, sections_ - block_.size()),
                          format::EncodeSectionBlock(block_));
  block_.clear();
}

}  // namespace tomelet::search
