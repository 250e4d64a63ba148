// One reader per container, each giving a source to a sink. They parse strangers' files with
// third-party libraries, so ImportDocument runs them in a bounded child process; each throws
// std::runtime_error with what is wrong with the source.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "import/SourceSink.h"

namespace tomelet::importer {

void ReadChm(const std::filesystem::path& source, ISourceSink& sink);
void ReadZim(const std::filesystem::path& source, ISourceSink& sink);
void ReadEpub(const std::filesystem::path& source, ISourceSink& sink);
void ReadDevhelp(const std::filesystem::path& book, ISourceSink& sink);
void ReadDocsetFolder(const std::filesystem::path& docset, ISourceSink& sink);
// A .zip or .tar.* of a built site, or of a docset.
void ReadPackedSite(const std::filesystem::path& source, ISourceSink& sink);
// The folder of a packed docset ("Python.docset/") among the archive's names; empty when none.
std::string PackedDocsetTop(const std::vector<std::string>& names);
void ReadPackedDocset(const std::filesystem::path& source, const std::string& top,
                      ISourceSink& sink);

// The most a single file of a source may expand to.
inline constexpr std::uint64_t kLargestSourceFile = std::uint64_t{512} << 20;

// Each regular file of an archive libarchive reads (zip, tar and its compressions), in archive
// order: its name and its bytes. Throws std::runtime_error for a damaged archive or a file
// larger than kLargestSourceFile.
void ForEachPackedFile(
    const std::filesystem::path& source,
    const std::function<void(std::string_view name, std::span<const std::byte> bytes)>& visit);
// The names alone, without reading the files.
std::vector<std::string> PackedFileNames(const std::filesystem::path& source);

// A name of the source made relative to the document's top: "./" and "/" prefixes dropped.
// Throws std::runtime_error for a name that climbs out ("..").
std::string InsideName(std::string_view name);

// A language code the stemmer knows: the three-letter codes of common languages made two-letter,
// others as they are.
std::string TwoLetterLanguage(std::string_view code);

// Every file below folder, with its path relative to it ("/" between folders), sorted.
std::vector<std::string> FilesBelow(const std::filesystem::path& folder);
std::vector<std::byte> ReadFileBytes(const std::filesystem::path& file);
// Gives every file below folder to the sink, prefixed by under.
void GiveFolder(const std::filesystem::path& folder, ISourceSink& sink);
std::size_t CountHtmlPages(const std::vector<std::string>& names);
// A small page that leads on to link at once, with a link titled title for readers without
// automatic forwarding.
std::string ForwardingPage(std::string_view link, std::string_view title);

}  // namespace tomelet::importer
