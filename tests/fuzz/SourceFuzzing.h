// What every importer's fuzz target does: the bytes as a file of one source format, read by its
// reader in this process into a sink that checks only the order of the calls. A damaged source
// may be refused with an exception; anything else (a crash, a leak, a hang) is a finding.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "import/Import.h"

namespace tomelet::importer {

class TOrderCheckingSink final : public ISourceSink {
 public:
  void Begin(const TSourceFacts&) override { Expect(stage_ == 0, 1); }
  void Page(std::string_view, std::span<const std::byte>) override { Expect(stage_ == 1, 1); }
  void Logo(std::span<const std::byte>) override { Expect(stage_ == 1, 2); }
  void Map(TContents, std::vector<TKeyword>) override { Expect(stage_ >= 1 && stage_ <= 2, 3); }

 private:
  void Expect(bool inOrder, int next) {
    if (!inOrder)
      std::abort();
    stage_ = next;
  }
  int stage_ = 0;
};

// An unnamed file in memory holds the bytes; readers open it by its /proc path.
inline int FuzzSource(const std::uint8_t* data, std::size_t size, TSourceFormat format) {
  const int file = ::memfd_create("fuzzed-source", 0);
  if (file < 0 || ::write(file, data, size) != static_cast<ssize_t>(size))
    std::abort();
  TOrderCheckingSink sink;
  try {
    ReadSource("/proc/self/fd/" + std::to_string(file), format, sink);
  } catch (const std::exception&) {
  }
  ::close(file);
  return 0;
}

}  // namespace tomelet::importer
