// The names a document reserves for itself, and what a lookup finds.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// The project options record and the document's icon, which are not pages of the document.
inline constexpr std::string_view kConfigEntry = "-config-";
inline constexpr std::string_view kLogoEntry = "-logo-";
// The name under a document's address where a server offers its logo (unless the document holds
// a file of that name): the one browsers ask every site for.
inline constexpr std::string_view kLogoAddress = "favicon.ico";
// The document's full-text index, stored so that it can be opened in place.
inline constexpr std::string_view kIndexEntry = "-index-";
// The document's contents and keyword index (document/DocumentMap.h).
inline constexpr std::string_view kMapEntry = "-map-";

// Whether an archive path names one of the reserved entries (options, icon, index, map), ASCII
// letter case ignored.
bool IsReservedEntry(std::string_view archivePath);

struct TFoundEntry {
  int Index = -1;
  // The form of the path that matched: as given, or its Windows-1252 form.
  std::string ArchivePath;

  bool Found() const { return Index >= 0; }
};

// Whether a typed password opens a document; documents made on Windows keep their password in
// Windows-1252, so the typed text counts in that form too.
bool PasswordMatches(std::string_view typed, std::string_view stored);

}  // namespace tomelet
