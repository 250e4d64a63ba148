// Other containers made into documents: the source recognised by its content, read by its
// reader in a bounded child process, and written by the one writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "import/SourceSink.h"

namespace tomelet::importer {

enum class TSourceFormat {
  Unknown,
  Chm,
  Zim,
  Epub,
  Docset,      // a .docset folder
  Devhelp,     // a book's index file, or a folder holding one
  PackedSite,  // a .zip or .tar.* of a site, or of a docset
};

// What the source is, from its first bytes (and for folders, the files they hold); the name is
// never consulted. Never throws: a source that cannot be read is Unknown.
TSourceFormat RecogniseSource(const std::filesystem::path& source);
// "CHM", "ZIM", "EPUB", "docset", "Devhelp book", "site archive"; "unknown".
std::string_view FormatName(TSourceFormat format);

class EImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TImportSettings {
  TFileCompressionLevel Level = fcDefault;
  bool Index = true;
  std::string Language;  // overrides the source's language for the stemmer
  // Pages done of pages in all, as they are written.
  std::function<void(std::size_t done, std::size_t total)> Progress;
  std::function<void(const std::string&)> Warn;
};

// The bytes of a source: a file's size, or the files of a folder together; 0 when unreadable.
std::uint64_t SourceSize(const std::filesystem::path& source);

// Reads source as format in this process, giving it to sink. Throws std::runtime_error naming
// what is wrong.
void ReadSource(const std::filesystem::path& source, TSourceFormat format, ISourceSink& sink);

// Writes source as a document at out ("-" for standard output), its reader run in a child process
// that may write no file and is bounded in memory and time. Throws EImportError "<source>: <what
// is wrong>" for a source it does not recognise or that is damaged (a name outside the container,
// a file that does not decompress, an index pointing nowhere it cannot read, output beyond 100
// times the source's size plus 64 MiB); nothing is then left at out.
void ImportDocument(const std::filesystem::path& source, const std::string& out,
                    const TImportSettings& settings);

}  // namespace tomelet::importer
