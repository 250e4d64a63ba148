// What `tomelet verify` finds in a document: every entry read and checked, the archive's CRC,
// and whether the search index it carries is sound and belongs to it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tomelet {
class TDocument;
}

namespace tomelet::cli {

struct TDamagedEntry {
  int Index = 0;
  std::string ArchivePath;  // as stored
  std::string Message;      // the reader's own text
};

// What verify finds worth saying about an entry that reads back sound.
struct TEntryNote {
  int Index = 0;
  std::string ArchivePath;  // as stored
  std::string Note;
};

struct TIndexReport {
  // Null when the index could not be read at all.
  std::optional<std::size_t> Pages;
  // Pages of the index that the document does not have: an index carried over from another
  // document sends its searchers to pages that are not there.
  std::size_t MissingPages = 0;
  std::string FirstMissingPage;
  // Pages shorter than the index reads its snippets from: changed since it was built.
  std::size_t ShortPages = 0;
  std::string FirstShortPage;
  // Why the index fails, empty when it is sound and belongs to the document.
  std::string Message;
};

struct TVerifyReport {
  int EntryCount = 0;
  // Bytes of contents of the sound entries.
  std::int64_t Bytes = 0;
  std::vector<TDamagedEntry> Damaged;
  // Sound entries whose zlib stream goes on past their size: every reader takes them as their
  // first OriginalSize bytes, which their CRC matches.
  std::vector<TEntryNote> Notes;
  std::uint32_t StoredArchiveCrc = 0;
  std::uint32_t ComputedArchiveCrc = 0;
  // Null when the document carries no "-index-" entry.
  std::optional<TIndexReport> Index;

  int SoundEntries() const { return EntryCount - static_cast<int>(Damaged.size()); }
  bool ArchiveCrcMatches() const { return StoredArchiveCrc == ComputedArchiveCrc; }
  bool EntriesSound() const { return Damaged.empty() && ArchiveCrcMatches(); }
  // The message a failed verify ends with: the reader's "The archive appears to be corrupted"
  // when the archive's CRC fails, else the first damaged entry's, else the index's; empty when
  // everything is sound.
  std::string Failure() const;
};

// Reads every entry of an open document even past damaged ones.
TVerifyReport VerifyDocument(const std::shared_ptr<const TDocument>& document);

}  // namespace tomelet::cli
