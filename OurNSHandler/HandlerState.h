// Shared between the handler objects and their module; not part of the public interface.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "OurNSHandler/OurNSHandler.h"
#include "document/DocumentEntries.h"

namespace tomelet {

// The handler's lists and the archive the registration handed over. Only the user-interface thread
// touches them.
struct THandlerState {
  TZLBArc2* archive = nullptr;
  std::vector<std::string> tempFileList;
  std::vector<std::string> requestLog;
  std::filesystem::path privateFolder;
  bool echoLog = false;

  void Log(std::string line);
  TReaderEntries Entries() const { return TReaderEntries(archive); }
};

HRESULT CreateOurNSHandler(std::shared_ptr<THandlerState> state, IUnknown* outer, REFIID iid,
                           void** out);

// A stored entry name that would leave the private folder or name no file.
class ETempFileRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes contents as the entry's file below the run's private folder (made on first use),
// reproducing the entry's folders; a file this run already made for it is reused unchanged.
// Returns the full name. Throws ETempFileRefused or std::filesystem::filesystem_error.
std::string ExtractToTempFile(THandlerState& state, const std::string& storedPath,
                              std::span<const std::byte> contents);
// Deletes every listed file, ignoring failures, then the private folder with what remains in it.
void DeleteTempFiles(THandlerState& state);

}  // namespace tomelet
