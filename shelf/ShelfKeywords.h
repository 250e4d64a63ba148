// The keyword indexes of the documents on the shelf, for one lookup across all of them as the
// reader types: each document's map is read (or derived) once, off the caller's thread, and
// kept while the shelf holds no more than a budget of them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"
#include "library/Library.h"

namespace tomelet::shelf {

struct TKeywordHit {
  std::string Document;  // the document's name on the shelf
  TKeyword Keyword;
};

struct TKeywordResults {
  std::vector<TKeywordHit> Hits;
  // Documents whose keywords are still being read: their hits come with a later lookup.
  std::vector<std::string> Reading;
};

class TShelfKeywords {
 public:
  // onRead is called, on the reading thread, whenever a document's keywords have been read.
  explicit TShelfKeywords(std::function<void()> onRead = {});
  ~TShelfKeywords();
  TShelfKeywords(const TShelfKeywords&) = delete;
  TShelfKeywords& operator=(const TShelfKeywords&) = delete;

  // The keywords matching query across documents, at most limit: terms equal to the query first
  // (letter case ignored), then those beginning with it, then those with a word beginning with
  // it; within each, definitions before titles and headings, then the shorter term, then the
  // documents' order; one hit for each place (document, page and anchor). Documents not read yet
  // are queued for reading. Thread-safe.
  TKeywordResults Lookup(const library::TDocumentList& documents, std::string_view query,
                         std::size_t limit);
  // Queues the documents' keywords for reading, so that the first lookup finds them.
  void Prepare(const library::TDocumentList& documents);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::shelf
