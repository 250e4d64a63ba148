// Maps arbitrary addresses to archive paths as the protocol handler and `tomelet serve` do: the
// result never holds "/" or "?" and is never longer than the address after its prefix.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "document/DocumentAddress.h"
#include "platform/text/Codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string address(reinterpret_cast<const char*>(data), size);
  const std::string url = std::string(tomelet::kDocumentUrlPrefix) + address;
  const std::string path = tomelet::UrlToArchivePath(url);
  if (path.find_first_of("/?") != std::string::npos || path.size() > address.size()) {
    std::abort();
  }
  if (tomelet::UrlDecode(address).size() > address.size()) {
    std::abort();
  }
  tomelet::Utf8ToWindows1252(path);
  tomelet::DisplayText(path);
  return 0;
}
