#include "document/DocumentEntries.h"

#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"

namespace tomelet {

bool IsReservedEntry(std::string_view archivePath) {
  return EqualsFoldedAscii(archivePath, kConfigEntry) ||
         EqualsFoldedAscii(archivePath, kLogoEntry) ||
         EqualsFoldedAscii(archivePath, kIndexEntry) || EqualsFoldedAscii(archivePath, kMapEntry);
}

bool PasswordMatches(std::string_view typed, std::string_view stored) {
  if (typed == stored)
    return true;
  const auto legacy = Utf8ToWindows1252(typed);
  return legacy && *legacy == stored;
}

}  // namespace tomelet
