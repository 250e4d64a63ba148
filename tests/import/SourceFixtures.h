// Sources crafted at test time: zip and tar archives written with libarchive, docsets with
// SQLite and libplist, and CHM and ZIM files made by their own compilers when installed.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "document/Document.h"
#include "document/DocumentMap.h"

namespace tomelet::testing {

// name -> contents, written in this order (a std::map: by name).
using TFiles = std::map<std::string, std::string>;

enum class TPacking { Zip, TarGz };

// Writes files into an archive; a zip's first entry is stored when it is "mimetype".
void WritePacked(const std::filesystem::path& archive, const TFiles& files, TPacking packing);
// A minimal EPUB 3 with a nav document: chapters "one.xhtml" and "two.xhtml" under OEBPS/.
TFiles EpubFiles();
// A docset folder "<name>.docset" with a searchIndex of (name, type, path) rows and its pages;
// binaryPlist writes Info.plist in the binary form.
std::filesystem::path WriteDocset(const std::filesystem::path& parent,
                                  const std::vector<std::array<std::string, 3>>& rows,
                                  const TFiles& pages, bool binaryPlist);
// Runs a program; its exit code.
int RunQuietly(const std::string& commandLine);
bool HaveProgram(const std::string& name);

// The imported document, opened, with its map.
struct TImported {
  std::shared_ptr<const TDocument> Document;
  std::shared_ptr<const TDocumentMap> Map;
  std::string Page(std::string_view archivePath) const;
};
TImported OpenImported(const std::filesystem::path& document);

}  // namespace tomelet::testing
