// Building the index: one Xapian document per section of a page, compacted into a single file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "search/HtmlText.h"
#include "search/IndexFormat.h"
#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

constexpr Xapian::termcount kTitleWeight = 3;
constexpr Xapian::termcount kHeadingWeight = 4;
// Snippets are cut from the start of each section, which is where its subject is named; keeping
// no more than one snippet shows holds the index to a fraction of the document.
constexpr std::size_t kStoredTextBytes = 200;

std::filesystem::path ScratchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0' ? std::string(base) : "/tmp");
  pattern += "/tomelet-index-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw ESearchIndexError("Cannot create a folder for building the search index");
  }
  return pattern;
}

// Cuts at a character boundary so the stored text stays valid UTF-8.
std::string Prefix(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) {
    return text;
  }
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return text.substr(0, end);
}

std::vector<std::byte> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::byte> bytes(std::filesystem::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in) {
    throw ESearchIndexError("Cannot read the search index just built");
  }
  return bytes;
}

// Xapian gives every database a random identity; the index is made repeatable by deriving it
// from the rest of the bytes instead.
void FixIdentity(std::vector<std::byte>& database) {
  constexpr std::size_t kUuidOffset = 16;
  constexpr std::size_t kUuidSize = 16;
  if (database.size() < kUuidOffset + kUuidSize) {
    return;
  }
  std::uint64_t hash = 1469598103934665603ull;
  for (std::size_t i = kUuidOffset + kUuidSize; i < database.size(); ++i) {
    hash = (hash ^ std::to_integer<std::uint64_t>(database[i])) * 1099511628211ull;
  }
  for (std::size_t i = 0; i < kUuidSize; ++i) {
    database[kUuidOffset + i] = static_cast<std::byte>((hash >> (8 * (i % 8))) ^ i);
  }
}

bool HasCjk(const std::string& text) {
  for (Xapian::Utf8Iterator it(text); it != Xapian::Utf8Iterator(); ++it) {
    const unsigned c = *it;
    if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF)) {
      return true;
    }
  }
  return false;
}

}  // namespace

struct TIndexBuilder::Impl {
  std::filesystem::path scratch;
  std::string language;
  Xapian::Stem stemmer;
  std::unique_ptr<Xapian::Stopper> stopper;
  std::unique_ptr<Xapian::WritableDatabase> database;
  Xapian::TermGenerator generator;
  // The query side never puts the stem marker on n-grams of CJK text, so text holding any is
  // indexed a second time without it.
  Xapian::TermGenerator cjkGenerator;
  std::vector<format::TPageEntry> pages;
  std::vector<format::TSectionRecord> block;

  void IndexSection(const std::string& title, const TPageSection& section, bool generated,
                    bool first);
  // Documents are numbered from 1 in the order they are added, so a record's place follows
  // from its document's id.
  void StoreBlock(Xapian::docid last);
  ~Impl() {
    database.reset();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
  }
};

TIndexBuilder::TIndexBuilder(const TIndexSettings& settings) : impl_(std::make_unique<Impl>()) {
  impl_->scratch = ScratchFolder();
  impl_->language = format::StemmerLanguage(settings.Language);
  impl_->stemmer = format::MakeStemmer(impl_->language);
  impl_->stopper = format::MakeStopper(impl_->language);
  impl_->database = std::make_unique<Xapian::WritableDatabase>(
      (impl_->scratch / "db").string(),
      Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS | Xapian::DB_NO_TERMLIST);
  impl_->generator.set_stemmer(impl_->stemmer);
  // Stemmed forms only: unstemmed copies of every word would double the postings.
  impl_->generator.set_stemming_strategy(Xapian::TermGenerator::STEM_ALL_Z);
  impl_->cjkGenerator.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  impl_->cjkGenerator.set_stemming_strategy(Xapian::TermGenerator::STEM_NONE);
  impl_->generator.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  if (impl_->stopper) {
    impl_->generator.set_stopper(impl_->stopper.get());
    impl_->generator.set_stopper_strategy(Xapian::TermGenerator::STOP_ALL);
  }
}

TIndexBuilder::~TIndexBuilder() = default;

void TIndexBuilder::AddPage(std::string_view archivePath, std::string_view html) {
  const TPageText page = ExtractPageText(html);
  std::string title = page.Title;
  if (title.empty()) {
    for (const auto& section : page.Sections) {
      if (!section.Heading.empty()) {
        title = section.Heading;
        break;
      }
    }
  }
  if (title.empty()) {
    title = std::string(archivePath.substr(archivePath.rfind('\\') + 1));
  }
  impl_->pages.push_back({std::string(archivePath), title, page.IsGeneratedIndex});
  bool first = true;
  for (const auto& section : page.Sections) {
    impl_->IndexSection(title, section, page.IsGeneratedIndex, first);
    first = false;
    if (page.IsGeneratedIndex) {
      break;
    }
  }
}

void TIndexBuilder::Impl::IndexSection(const std::string& title, const TPageSection& section,
                                       bool generated, bool first) {
  if (section.Heading.empty() && section.Text.empty() && section.Ids.empty()) {
    return;
  }
  Xapian::Document document;
  generator.set_document(document);
  generator.index_text_without_positions(title, generated ? 1 : kTitleWeight);
  if (!generated) {
    if (first) {
      generator.index_text_without_positions(title, 1, std::string(format::kTitlePrefix));
    }
    generator.index_text_without_positions(section.Heading, kHeadingWeight);
    generator.index_text_without_positions(section.Text);
    if (HasCjk(section.Heading) || HasCjk(section.Text)) {
      cjkGenerator.set_document(document);
      cjkGenerator.index_text_without_positions(section.Heading, kHeadingWeight);
      cjkGenerator.index_text_without_positions(section.Text);
    }
    // A name typed as a query finds where it is defined, not every topic titled with it.
    for (const auto& id : section.IsDefinition ? section.Ids : std::vector<std::string>{}) {
      if (id.size() + format::kIdPrefix.size() <= format::kMaxTermBytes) {
        document.add_term(std::string(format::kIdPrefix) + id);
      }
    }
  }
  std::string shown = section.Heading;
  if (!section.Text.empty()) {
    shown += shown.empty() ? "" : " ";
    shown += section.Text;
  }
  const std::uint64_t page = pages.size() - 1;
  document.add_value(format::kPageSlot, format::PageKey(page));
  const Xapian::docid added = database->add_document(document);
  block.push_back({page, section.Anchor, Prefix(shown, kStoredTextBytes)});
  if (block.size() == format::kSectionsPerBlock) {
    StoreBlock(added);
  }
}

void TIndexBuilder::Impl::StoreBlock(Xapian::docid last) {
  database->set_metadata(format::SectionBlockKey(last), format::EncodeSectionBlock(block));
  block.clear();
}

std::vector<std::byte> TIndexBuilder::Finish() {
  if (!impl_->block.empty()) {
    impl_->StoreBlock(impl_->database->get_lastdocid());
  }
  impl_->database->set_metadata(std::string(format::kLanguageKey), impl_->language);
  impl_->database->set_metadata(std::string(format::kPagesKey), format::EncodePages(impl_->pages));
  impl_->database->commit();
  const auto single = impl_->scratch / "index";
  impl_->database->compact(single.string(), Xapian::DBCOMPACT_SINGLE_FILE);
  impl_->database.reset();
  std::vector<std::byte> database = ReadFileBytes(single);
  FixIdentity(database);
  std::vector<std::byte> result = format::EncodeHeader(database.size());
  result.insert(result.end(), database.begin(), database.end());
  return result;
}

std::string PageLanguage(std::string_view html) {
  return ExtractPageText(html).Language;
}

}  // namespace tomelet::search
