#include "tests/support/gui/ServedDocument.h"

#include <stdlib.h>

#include <stdexcept>

#include "platform/com/ComServer.h"

namespace tomelet::testing {
namespace {

constexpr std::string_view kStartLog = "Start widechar: ";

}  // namespace

TServedDocument::TServedDocument(const TTestDocument& document,
                                 const std::filesystem::path& folder) {
  const char* tmp = getenv("TMP");
  savedTmp_ = tmp ? tmp : "";
  setenv("TMP", folder.c_str(), 1);
  const auto file = document.WriteTo(folder / "document.tlt").string();
  if (!archive_.OpenArchive(file))
    throw std::runtime_error("cannot open " + file);
  module_ = std::make_unique<TOurNSHandlerModule>();
  if (FAILED(RegisterClassObjects()) || FAILED(registration_.Register(*module_, archive_)))
    throw std::runtime_error("cannot register the protocol handler");
}

TServedDocument::~TServedDocument() {
  registration_.Unregister();
  module_.reset();
  archive_.CloseArchive();
  if (savedTmp_.empty())
    unsetenv("TMP");
  else
    setenv("TMP", savedTmp_.c_str(), 1);
}

std::vector<std::string> TServedDocument::StartedUrls() const {
  std::vector<std::string> urls;
  for (const auto& line : module_->RequestLog()) {
    if (line.starts_with(kStartLog))
      urls.push_back(line.substr(kStartLog.size()));
  }
  return urls;
}

}  // namespace tomelet::testing
