// How long browsers and the caches in front of the server may keep each answer: the
// Cache-Control of every reply, by what it answers and how it ended.
#pragma once

#include <string>

namespace tomelet::serve {

struct TSiteResponse;

// Seconds a document's entries stay fresh unless --max-age says otherwise.
inline constexpr unsigned kDefaultMaxAge = 300;
// Seconds search results, suggestions, catalogues, redirects and missing entries stay fresh:
// short, since they change with the index and the documents served.
inline constexpr unsigned kListingMaxAge = 10;

enum class TAnswerKind {
  // A document's entry; its redirects and its missing entries count as listings.
  Entry,
  // Search results, suggestions, the catalogue.
  Listing,
  // Kept by nobody: the map pages, derived on first use.
  Unstored,
};

struct TCachePolicy {
  // 0: kept, but asked about again before every use.
  unsigned EntryMaxAge = kDefaultMaxAge;
  // A password document: a browser may keep what it was given, a shared cache never.
  bool Private = false;
};

// Entries (200, 206, 304) are fresh for EntryMaxAge; listings, redirects and 404 for
// kListingMaxAge; every other status is "no-store". Cacheable answers are "public", or
// "private" under a private policy.
std::string CacheControlFor(TAnswerKind kind, int status, const TCachePolicy& policy);

// Adds the Cache-Control of CacheControlFor unless the answer already carries one.
void AddCacheControl(TSiteResponse& response, TAnswerKind kind, const TCachePolicy& policy);

}  // namespace tomelet::serve
