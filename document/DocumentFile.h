// What a file is when it cannot be opened as a document, in the words every front end uses (the
// command line, the viewer's dialog, the server's catalogue): the file's name and what it is or
// seems to be, then the reader's own message where that says more.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "platform/streams/Streams.h"

namespace tomelet {

// The extension of document files, as the viewer's command line wants it ("manual.tlt").
inline constexpr std::string_view kDocumentExtension = ".tlt";

// What counts as a document file where files are looked for (a served folder): a name ending in
// ".tlt", letter case ignored, or a program (only asked of an executable file) that carries a
// document at its end, its trailer in the bounds of the file. Never throws.
bool HasDocumentExtension(std::string_view name);
bool IsProgramWithDocument(const std::filesystem::path& path);

class EDocumentFileError : public EZLBArchiveError {
 public:
  // what(): seems, then the reader's message on a line of its own when there is one.
  EDocumentFileError(const std::string& seems, const std::string& readerMessage)
      : EZLBArchiveError(readerMessage.empty() ? seems : seems + "\n" + readerMessage),
        seems_(seems),
        readerMessage_(readerMessage) {}
  // The file's name and what it is: "manual.tlt is not a Tomelet document".
  const std::string& Seems() const { return seems_; }
  // The reader's message, kept where it tells more than Seems (a later format's version, a
  // damaged registry); empty otherwise.
  const std::string& ReaderMessage() const { return readerMessage_; }

 private:
  std::string seems_;
  std::string readerMessage_;
};

// Refuses, without opening it, a path that cannot hold a document: missing ("Archive file not
// found: PATH"), a folder, a pipe (reading one would wait for a writer that may never come), a
// device or a socket. Throws EDocumentFileError.
void CheckDocumentFile(const std::filesystem::path& path);

// Throws EDocumentFileError saying what the file at path is, after the reader refused it with
// readerMessage (empty when its failure said nothing about the file): not a document, an empty
// file, a document cut short, one of a later format, a damaged one.
[[noreturn]] void ExplainRefusal(const std::filesystem::path& path, std::string_view readerMessage);

// CheckDocumentFile, then open(), a refusal of the reader explained.
template <typename Open>
auto OpenExplained(const std::filesystem::path& path, Open open) {
  CheckDocumentFile(path);
  try {
    return open();
  } catch (const EZLBArchiveError& refusal) {
    ExplainRefusal(path, refusal.what());
  } catch (const EStreamError&) {
    // A file too short for a trailer: the stream's own text says nothing about the file.
    ExplainRefusal(path, {});
  }
}

}  // namespace tomelet
