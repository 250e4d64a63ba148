// Finding the archive inside its file and reading its registry: the one reader of trailers and
// registries, for TZLBArc2 and for a snapshot opened on its own.
#pragma once

#include <cstdint>
#include <functional>

#include "ZLIBArchive2/EntryTable.h"
#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

// Bytes of the registry inflated so far, of all it holds.
using TRegistryProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// The trailer at the end of file, widened to the version 2 form. Throws EReadError when the file
// is shorter than a trailer, and "The archive was created with a different version of
// ZLBArchive (v<N>)" for a version other than 1 and 2.
TArchiveTrailer ReadTrailer(TFileStream& file);

// Where the archive begins in the file. Throws "Error reading registry" when the trailer's sizes
// cannot describe this file.
std::int64_t LocateArchive(TFileStream& file, const TArchiveTrailer& trailer);

// The registry of the archive at archiveStart, indexed. Throws ERegistryTooLarge past the limits
// on entries and name bytes, "Error reading registry" for anything else that fails.
TEntryTable ReadRegistry(TFileStream& file, const TArchiveTrailer& trailer,
                         std::int64_t archiveStart, const TRegistryProgress& progress = {});

}  // namespace tomelet
