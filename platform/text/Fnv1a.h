// FNV-1a with 64 bits: the one hash of names and bytes that must come out the same in every run
// and on every machine (library NAME suffixes, cache file names, the search index's identity, the
// registry's lookup table).
#pragma once

#include <cstdint>
#include <string_view>

namespace tomelet {

inline constexpr std::uint64_t kFnv1aOffset = 14695981039346656037ULL;
inline constexpr std::uint64_t kFnv1aPrime = 1099511628211ULL;

constexpr std::uint64_t Fnv1aByte(std::uint64_t hash, unsigned char byte) {
  return (hash ^ byte) * kFnv1aPrime;
}

// The hash of bytes, continuing hash (the offset basis for a new one).
constexpr std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = kFnv1aOffset) {
  for (const char c : bytes) {
    hash = Fnv1aByte(hash, static_cast<unsigned char>(c));
  }
  return hash;
}

}  // namespace tomelet
