// libFuzzer target for the reading side of the search index: any bytes handed over as an index
// must be refused with ESearchIndexError or answer queries, never crash or leak.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "search/SearchIndex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("index", MFD_CLOEXEC);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
    if (fd >= 0) {
      ::close(fd);
    }
    return 0;
  }
  try {
    // Every page reads as the same short one, so that any lead range a record claims is cut
    // from real markup.
    const tomelet::search::TSearchIndex index(
        fd, 0, static_cast<std::int64_t>(size),
        [](std::string_view, std::uint64_t start, std::uint64_t length) {
          constexpr std::string_view kPage = "<h1 id='files'>Files</h1><p>re.sub &amp; more</p>";
          return std::optional<std::string>(
              kPage.substr(std::min<std::uint64_t>(start, kPage.size()), length));
        });
    index.Search("files", 0, 10);
    index.Search("re.sub", 5, 5);
    index.Suggest("fi", 5);
  } catch (const tomelet::search::ESearchIndexError&) {
  }
  ::close(fd);
  return 0;
}
