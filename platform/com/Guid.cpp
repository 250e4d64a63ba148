#include "platform/com/Com.h"

std::size_t std::hash<tomelet::GUID>::operator()(const tomelet::GUID& g) const noexcept {
  std::uint64_t high = std::uint64_t{g.Data1} << 32 | std::uint64_t{g.Data2} << 16 | g.Data3;
  std::uint64_t low = 0;
  for (std::uint8_t byte : g.Data4)
    low = low << 8 | byte;
  return std::hash<std::uint64_t>{}(high ^ (low * 0x9E3779B97F4A7C15ULL));
}
