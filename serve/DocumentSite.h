// The document as a web site: turns one HTTP request into one reply, straight from the archive.
// Knows nothing of sockets, so the same answers hold for every transport and every test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serve/CachePolicy.h"

namespace tomelet {
class TDocument;
}
namespace tomelet::search {
class TBackgroundIndex;
}

namespace tomelet::serve {

class TEntryCache;
struct TRoute;

// Produces a reply body piece by piece, so large entries never sit whole in memory.
class TBodySource {
 public:
  virtual ~TBodySource() = default;
  // The next piece, empty at the end. Damaged archive data raises EZLBArchiveError.
  virtual std::span<const std::byte> Next() = 0;
};

struct TSiteRequest {
  std::string_view Method;
  std::string_view Target;
  std::string_view AcceptEncoding;
  std::string_view IfNoneMatch;
  std::string_view Range;
  std::string_view IfRange;
  std::string_view IfModifiedSince;
  std::string_view Authorization;
};

struct TSiteResponse {
  int Status = 200;
  std::vector<std::pair<std::string, std::string>> Headers;
  std::int64_t ContentLength = 0;
  // Null when there is no body; a HEAD request still gets one, which the transport drops.
  std::unique_ptr<TBodySource> Body;

  std::string_view Header(std::string_view name) const;
};

// What the site may hold whole in memory at once by default (see TMemoryBudget).
inline constexpr std::size_t kDefaultMemoryBudget = std::size_t{128} << 20;

// What the server asks for each request: one document, or a library of them.
class TSite {
 public:
  virtual ~TSite() = default;
  // Safe to call from several threads at once.
  virtual TSiteResponse Respond(const TSiteRequest& request) const = 0;
  // Whether answering the target may take long (a search), so the transport answers it apart
  // from the quick pages.
  virtual bool IsSlow(std::string_view target) const = 0;
};

// Who may read the site and how long its answers may be kept.
struct TSiteRules {
  // Seconds the document's entries stay fresh in browsers and caches.
  unsigned MaxAge = kDefaultMaxAge;
  // The document's own password; with one, only clients that send it are answered (see
  // TPasswordGate) and no shared cache may keep any answer.
  std::string Password;
  // The name a browser shows when it asks for the password.
  std::string Realm;
};

// Where a document's pages live: at the root for one document alone, under "/NAME" in a library.
struct TDocumentMount {
  // Empty, or "/NAME": every target the site is asked for then begins with it.
  std::string Path;
  // The document's search index when someone else holds it too (the library's search); null to
  // open one of the site's own.
  std::shared_ptr<search::TBackgroundIndex> Index;
  // The memory budget and the cache of whole entries shared with the server's other documents;
  // null for ones of the site's own.
  std::shared_ptr<TEntryCache> Entries;
};

class TDocumentSite final : public TSite {
 public:
  // startPageOption is the options record's StartPage as stored; empty when the document has none.
  // memoryBudget bounds the entry contents held whole, cached or pinned by replies in flight
  // together, unless the mount brings a budget shared with other documents.
  TDocumentSite(std::shared_ptr<const TDocument> archive, std::string_view startPageOption,
                std::size_t memoryBudget = kDefaultMemoryBudget, TSiteRules rules = {},
                TDocumentMount mount = {});
  ~TDocumentSite() override;
  TDocumentSite(const TDocumentSite&) = delete;
  TDocumentSite& operator=(const TDocumentSite&) = delete;

  TSiteResponse Respond(const TSiteRequest& request) const override;
  bool IsSlow(std::string_view target) const override;
  // Whether a path below a document's mount ("/...") may take long, for a site that passes
  // requests on to documents without opening them first.
  static bool IsSlowPath(std::string_view path);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::serve
