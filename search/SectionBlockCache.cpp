#include "search/SectionBlockCache.h"

#include <atomic>

namespace tomelet::search {
namespace {

// About 400 blocks of 20 KiB: every block of eight large manuals, or the hits of the queries
// asked most of a larger library.
constexpr std::size_t kSharedBlockBytes = 8 << 20;
// About 8,000 sections' text: the hits of the queries asked most of a library.
constexpr std::size_t kSharedLeadBytes = 2 << 20;

}  // namespace

std::uint64_t NewCacheOwner() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

std::shared_ptr<TSectionBlockCache> SharedSectionBlocks() {
  static const auto cache = std::make_shared<TSectionBlockCache>(kSharedBlockBytes);
  return cache;
}

std::shared_ptr<TSectionLeadCache> SharedSectionLeads() {
  static const auto cache = std::make_shared<TSectionLeadCache>(kSharedLeadBytes);
  return cache;
}

}  // namespace tomelet::search
