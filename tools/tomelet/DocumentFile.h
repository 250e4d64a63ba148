// Opening the document a command names, for every command: what is not a document is refused at
// once, and a file the reader cannot open is named with what it seems to be.
#pragma once

#include <memory>
#include <string>

namespace tomelet {
class TZLBArc2;
class TArchiveSnapshot;
}  // namespace tomelet

namespace tomelet::cli {

// Refuses, without opening it, a path that cannot hold a document: missing, a folder, a pipe
// (reading one would wait for a writer that may never come), a device or a socket. Throws
// EZLBArchiveError whose text names path and what it is; a missing path ends with the reader's
// "Archive file not found".
void CheckDocumentFile(const std::string& path);

// CheckDocumentFile, then the reader. When the reader refuses the file, its message stays the last
// line and the line before names the file and what it seems to be: not a document, a document cut
// short, one of a later format, a damaged one. Throws EZLBArchiveError.
void OpenDocument(TZLBArc2& arc, const std::string& path);

// The same checks and messages for the snapshot that serve and search read from.
std::shared_ptr<const TArchiveSnapshot> OpenDocumentSnapshot(const std::string& path);

}  // namespace tomelet::cli
