// Opening the document a command names, for every command: what is not a document is refused at
// once, and a file the reader cannot open is named with what it seems to be.
#pragma once

#include <memory>
#include <string>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {
class TDocument;
}  // namespace tomelet

namespace tomelet::cli {

// FILE is no document that can be opened: a line naming the file and what it is or seems to be,
// then the reader's own message when it has one. what() holds both, one per line.
class EDocumentFileError : public EZLBArchiveError {
 public:
  EDocumentFileError(const std::string& seems, const std::string& readerMessage)
      : EZLBArchiveError(readerMessage.empty() ? seems : seems + "\n" + readerMessage),
        seems_(seems),
        readerMessage_(readerMessage) {}
  const std::string& Seems() const { return seems_; }
  const std::string& ReaderMessage() const { return readerMessage_; }

 private:
  std::string seems_;
  std::string readerMessage_;
};

// Refuses, without opening it, a path that cannot hold a document: missing, a folder, a pipe
// (reading one would wait for a writer that may never come), a device or a socket. Throws
// EDocumentFileError naming path and what it is; for a missing path the reader's message is
// "Archive file not found".
void CheckDocumentFile(const std::string& path);

// CheckDocumentFile, then the reader. When the reader refuses the file, its message stays the last
// line and the line before names the file and what it seems to be: not a document, a document cut
// short, one of a later format, a damaged one. Throws EDocumentFileError.
void OpenDocument(TZLBArc2& arc, const std::string& path);

// The same checks and messages for the document handle that serve, search and index read from.
std::shared_ptr<const TDocument> OpenDocumentFile(const std::string& path);

}  // namespace tomelet::cli
