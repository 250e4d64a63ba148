// The term summaries of a library's documents kept in the user's cache folder, so that a server
// started again bounds its searches before it opens anything. Each is filed under its document
// file's identity, as the checks of indexes are remembered: a changed document has none until
// its index is opened again.
#pragma once

#include <memory>

#include "platform/files/FileIdentity.h"
#include "search/TermSummary.h"

namespace tomelet::library {

// Null when none is stored for this identity, or what is stored cannot be read. Never throws.
std::shared_ptr<const search::TTermSummary> ReadStoredSummary(const TFileIdentity& document);

// Stores the summary soon, on a thread of its own, silently not when the cache folder cannot be
// written; the least recently stored beyond a few thousand are removed. A search that summarizes
// hundreds of indexes answers without waiting for as many files to be made. Never throws.
void StoreSummary(const TFileIdentity& document,
                  std::shared_ptr<const search::TTermSummary> summary);
// Waits until every summary given to StoreSummary before has been stored (or could not be).
void FinishStoringSummaries();

}  // namespace tomelet::library
