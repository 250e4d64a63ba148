// Sources other than documents given to the viewer (a CHM, ZIM, EPUB or docset): imported once
// into the user's cache, where opening the same source again finds the document at once.
#pragma once

#include <filesystem>

namespace tomelet {

// Whether the viewer imports this file or folder: a source the importer recognises by content.
bool IsImportableSource(const std::filesystem::path& source);

// $XDG_CACHE_HOME/tomelet/imported/<name>-<16 hex digits>.tlt, the digits from the source's full
// path, size and modification time, so that a changed source is imported anew. Never throws.
std::filesystem::path ImportedDocumentPath(const std::filesystem::path& source);

}  // namespace tomelet
