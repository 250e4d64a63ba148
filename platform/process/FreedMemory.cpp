#include "platform/process/FreedMemory.h"

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <fstream>

namespace tomelet {
namespace {

// Each range handed back interrupts every core to flush its page tables, and the next large
// piece of work takes the same pages back, one fault each: a search across a library larger
// than it keeps open spent a third of its processor time so, returning a few megabytes. So
// the heaps are walked only once the process has grown by this much since the last walk.
constexpr std::size_t kWorthReturning = std::size_t{32} << 20;

std::atomic<std::size_t> residentAfterLastReturn{0};

// Bytes of the process in memory; 0 when unknown.
std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0;
  std::size_t resident = 0;
  statm >> size >> resident;
  return statm ? resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

}  // namespace

void ReturnFreedMemory() {
  const std::size_t resident = ResidentBytes();
  if (resident != 0 && resident < residentAfterLastReturn.load() + kWorthReturning) {
    // Grown from the smallest size seen: a process that shrank since is not let grow back
    // by the old size's holes.
    if (resident < residentAfterLastReturn.load()) {
      residentAfterLastReturn = resident;
    }
    return;
  }
  ::malloc_trim(0);
  residentAfterLastReturn = ResidentBytes();
}

}  // namespace tomelet
