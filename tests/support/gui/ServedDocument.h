// A test document served by the registered protocol handler, the way the viewer serves its
// document.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "OurNSHandler/OurNSHandler.h"
#include "ZLIBArchive2/ZLIBArchive2.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing {

class TServedDocument {
 public:
  // Writes document into folder and registers the handler for "tome"; the handler's temporary
  // files go below folder as well.
  TServedDocument(const TTestDocument& document, const std::filesystem::path& folder);
  ~TServedDocument();
  TServedDocument(const TServedDocument&) = delete;
  TServedDocument& operator=(const TServedDocument&) = delete;

  // The URLs the handler was started with, in order.
  std::vector<std::string> StartedUrls() const;

 private:
  std::string savedTmp_;
  TZLBArc2 archive_;
  std::unique_ptr<TOurNSHandlerModule> module_;
  TProtocolRegistration registration_;
};

}  // namespace tomelet::testing
