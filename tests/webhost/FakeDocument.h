// A document served through the session by a stand-in protocol handler, so the host's scheme
// bridge can be driven end to end without an archive.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/com/Com.h"

namespace tomelet::testing {

class TFakeDocument {
 public:
  // Serves pages (path below "tome://inpack/" -> contents); files asked for as files are
  // written below fileFolder.
  TFakeDocument(std::map<std::string, std::string> pages, std::filesystem::path fileFolder);
  ~TFakeDocument();
  TFakeDocument(const TFakeDocument&) = delete;
  TFakeDocument& operator=(const TFakeDocument&) = delete;

  // Every URL the handler was started with, in order.
  const std::vector<std::string>& StartedUrls() const { return startedUrls_; }

 private:
  ComPtr<IClassFactory> factory_;
  std::vector<std::string> startedUrls_;
};

}  // namespace tomelet::testing
