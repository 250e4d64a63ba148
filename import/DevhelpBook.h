// A Devhelp book: the index file (.devhelp2, .devhelp or either gzipped) beside its HTML
// pages, read as a document's facts, contents (its chapters) and typed keywords, whether it is
// imported once or read in place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "document/DocumentMap.h"

namespace tomelet::importer {

struct TDevhelpBook {
  std::string Name;  // the book's short name ("glib"), for scoped searches
  std::string Title;
  std::string Language;   // the programming language it documents ("c", "python"), not a stemmer's
  std::string StartPage;  // relative to Folder, "/" between folders
  std::filesystem::path Folder;  // where the pages are: beside the index file
  TContents Chapters;
  // Terms as a reader types them ("g_array_new", not "g_array_new ()"), each with its kind
  // ("function", "struct", "macro", "enum", "property", "signal", ...) as Type.
  std::vector<TKeyword> Keywords;
};

// True for the name of a book's index file: .devhelp2, .devhelp, .devhelp2.gz, .devhelp.gz.
bool IsDevhelpBookName(const std::filesystem::path& file);

// Throws std::runtime_error naming what is wrong: a file that cannot be read, is not XML, holds
// no <book>, or inflates past 64 MiB.
TDevhelpBook ReadDevhelpBook(const std::filesystem::path& indexFile);

}  // namespace tomelet::importer
