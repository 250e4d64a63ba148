#include "tools/tomelet/VerifyReport.h"

#include <numeric>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "document/Document.h"
#include "platform/streams/Streams.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/EntryPrefetch.h"

namespace tomelet::cli {
namespace {

constexpr std::size_t kVerifyPiece = std::size_t{1} << 20;

std::string GoesOnNote(std::int64_t size) {
  return "its stream goes on past its size; it reads as its first " + std::to_string(size) +
         " bytes, which match its CRC";
}

void CheckEntries(const TDocument& document, TVerifyReport& report) {
  std::vector<int> everyEntry(static_cast<std::size_t>(document.EntryCount()));
  std::iota(everyEntry.begin(), everyEntry.end(), 0);
  TEntryPrefetch prefetch(document, std::move(everyEntry));
  std::vector<std::byte> piece(kVerifyPiece);
  const TArchiveSnapshot& archive = FormatOf(document);
  for (int i = 0; i < document.EntryCount(); ++i) {
    try {
      const auto contents = prefetch.Next();
      std::int64_t bytes = 0;
      while (const std::size_t got = contents->Read(piece)) {
        bytes += static_cast<std::int64_t>(got);
      }
      report.Bytes += bytes;
      if (archive.StreamGoesOnPastSize(i)) {
        report.Notes.push_back({i, document.Entry(i).ArchivePath(), GoesOnNote(bytes)});
      }
    } catch (const EZLBArchiveError& error) {
      report.Damaged.push_back({i, document.Entry(i).ArchivePath(), error.what()});
    }
  }
}

std::uint32_t ArchiveCrc(const TArchiveSnapshot& archive) {
  const auto stream = archive.OpenFileStream();
  return StreamCRC32(*stream, archive.ArchiveStart(), static_cast<std::int64_t>(kTrailerSize));
}

std::string NotBelongingMessage(const TIndexReport& report) {
  const std::string start = "The search index does not belong to this document: ";
  const std::string ofPages = " of its " + std::to_string(*report.Pages) + " pages ";
  if (report.MissingPages > 0) {
    return start + std::to_string(report.MissingPages) + ofPages + "are not in it, such as " +
           ShownPath(report.FirstMissingPage);
  }
  return start + std::to_string(report.ShortPages) + ofPages +
         "are shorter than when it was built, such as " + ShownPath(report.FirstShortPage);
}

// An index belongs to the document when every page it sends a searcher to is there, as long as
// the index reads the pages' text for its snippets.
void CheckPages(const TDocument& archive, const search::TSearchIndex& index, TIndexReport& report) {
  const auto paths = index.PagePaths();
  const auto leadEnds = index.LeadEnds();
  report.Pages = paths.size();
  for (std::size_t page = 0; page < paths.size(); ++page) {
    const int entry = archive.IndexOf(paths[page]);
    if (entry < 0) {
      if (report.MissingPages++ == 0) {
        report.FirstMissingPage = paths[page];
      }
    } else if (leadEnds[page] > static_cast<std::uint64_t>(archive.Entry(entry).Size) &&
               report.ShortPages++ == 0) {
      report.FirstShortPage = paths[page];
    }
  }
  if (report.MissingPages > 0 || report.ShortPages > 0) {
    report.Message = NotBelongingMessage(report);
  }
}

std::optional<TIndexReport> CheckIndex(const std::shared_ptr<const TDocument>& document) {
  const TDocument& archive = *document;
  TIndexReport report;
  try {
    const auto index = search::OpenEmbeddedIndex(document);
    if (!index) {
      return std::nullopt;
    }
    index->Check();
    CheckPages(archive, *index, report);
  } catch (const search::ESearchIndexError& error) {
    report.Message = error.what();
  }
  return report;
}

}  // namespace

std::string TVerifyReport::Failure() const {
  if (!ArchiveCrcMatches()) {
    return std::string(kCorruptedArchiveMessage);
  }
  if (!Damaged.empty()) {
    return Damaged.front().Message;
  }
  return Index ? Index->Message : std::string();
}

// The archive's CRC is checked here rather than on opening, so that a failing CRC does not hide
// which entries are damaged.
TVerifyReport VerifyDocument(const std::shared_ptr<const TDocument>& document) {
  const TArchiveSnapshot& archive = FormatOf(*document);
  TVerifyReport report;
  report.EntryCount = document->EntryCount();
  report.StoredArchiveCrc = archive.Trailer().ArchiveCRC;
  report.ComputedArchiveCrc = ArchiveCrc(archive);
  CheckEntries(*document, report);
  report.Index = CheckIndex(document);
  return report;
}

}  // namespace tomelet::cli
