// A site's addresses as one table: each path with its handler, whether answering it may take
// long, and how long its answers may be kept, below the path the site is mounted at. The table
// checks the method, finds the route, turns a failure into 500, answers a client whose copy is
// still good with 304 and adds Cache-Control, the same way for every route of every site.
#pragma once

#include <ctime>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serve/CachePolicy.h"
#include "serve/DocumentSite.h"

namespace tomelet::serve {

// Below this path a site keeps the pages it makes itself (search, map, catalogue), apart from
// the document's entries; a document's top-level folder "-" is therefore never served.
inline constexpr std::string_view kOwnPagesPrefix = "/-/";

// One request as a handler sees it.
struct TRequestContext {
  const TSiteRequest& Request;
  // Where the site is mounted: "" or "/NAME".
  std::string_view Mount;
  // The path below the mount, from its "/", without the query.
  std::string_view Path;
  // What follows "?" in the target, empty when nothing does.
  std::string_view Query;

  // The address of a path of this site ("/..."), below its mount.
  std::string Address(std::string_view path) const;
};

enum class TPace { Quick, Slow };

struct TRoute {
  // The path below the mount, or a prefix ending in "*" ("/-/file/*"; "*" alone is every path)
  // that takes the paths no exact route and no longer prefix takes.
  std::string_view Path;
  TPace Pace;
  TAnswerKind Kind;
  std::function<TSiteResponse(const TRequestContext&)> Answer;
};

class TRouteTable {
 public:
  // policy: how long entries stay fresh, and whether a shared cache may keep anything.
  TRouteTable(std::string mount, std::vector<TRoute> routes, TCachePolicy policy);

  const std::string& Mount() const { return mount_; }
  // Only GET and HEAD are answered; a target outside the mount is 400.
  TSiteResponse Respond(const TSiteRequest& request) const;
  // Whether the route of the target may take long; false for a target outside the mount.
  bool IsSlow(std::string_view target) const;

 private:
  const TRoute* Find(std::string_view path) const;

  std::string mount_;
  std::vector<TRoute> routes_;
  TCachePolicy policy_;
};

// Whether the client's copy is still good: If-None-Match decides when it is sent (matching any
// of tags), else If-Modified-Since against lastModified.
bool ClientCopyIsCurrent(const TSiteRequest& request, std::initializer_list<std::string_view> tags,
                         std::optional<std::time_t> lastModified);

// The 304 that stands for a reply: its validators and Vary, without its body.
TSiteResponse NotModified(const TSiteResponse& full);

}  // namespace tomelet::serve
