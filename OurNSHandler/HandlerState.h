// Shared between the handler objects and their module; not part of the public interface.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "OurNSHandler/OurNSHandler.h"
#include "document/Document.h"

namespace tomelet {

// The handler's lists and the archive the registration handed over. Only the user-interface thread
// touches them.
struct THandlerState {
  TZLBArc2* archive = nullptr;
  // The handle on the archive's open document, made again when the archive opens another.
  std::vector<std::string> tempFileList;
  std::vector<std::string> requestLog;
  std::filesystem::path privateFolder;
  std::map<std::string, std::string> tempFileOfEntry;  // folded archive path -> file made for it
  bool echoLog = false;

  std::shared_ptr<const TDocument> document;

  void Log(std::string line);
  // The archive's open document, sharing its descriptor; null while none is open.
  const TDocument* Document();
};

HRESULT CreateOurNSHandler(std::shared_ptr<THandlerState> state, IUnknown* outer, REFIID iid,
                           void** out);

// Writes contents as a file of the entry's own name in a folder of the entry's own below the run's
// private folder (made on first use); a file this run already made for it is reused unchanged.
// Returns the full name. Throws std::filesystem::filesystem_error when the file cannot be written.
std::string ExtractToTempFile(THandlerState& state, const std::string& storedPath,
                              std::span<const std::byte> contents);
// Deletes every listed file, ignoring failures, then the private folder with what remains in it.
void DeleteTempFiles(THandlerState& state);

}  // namespace tomelet
