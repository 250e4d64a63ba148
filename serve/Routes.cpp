#include "serve/Routes.h"

#include "platform/text/AsciiCase.h"
#include "serve/HttpDate.h"
#include "serve/HttpRange.h"
#include "serve/Replies.h"

namespace tomelet::serve {

namespace {

// The headers a 304 keeps of the reply it stands for.
constexpr std::string_view kValidators[] = {"ETag", "Last-Modified", "Vary", "Cache-Control"};

bool ClientHasTheReply(const TSiteRequest& request, const TSiteResponse& full) {
  // Most requests carry no copy to ask about: the reply's date is then never read.
  if (request.IfNoneMatch.empty() && request.IfModifiedSince.empty()) {
    return false;
  }
  const std::string_view tag = full.Header("ETag");
  const std::string_view modified = full.Header("Last-Modified");
  if (tag.empty() && modified.empty()) {
    return false;
  }
  return ClientCopyIsCurrent(request, {tag},
                             modified.empty() ? std::nullopt : ParseHttpDate(modified));
}

}  // namespace

std::string TRequestContext::Address(std::string_view path) const {
  return std::string(Mount) + std::string(path);
}

TRouteTable::TRouteTable(std::string mount, std::vector<TRoute> routes, TCachePolicy policy)
    : mount_(std::move(mount)), routes_(std::move(routes)), policy_(policy) {}

const TRoute* TRouteTable::Find(std::string_view path) const {
  const TRoute* found = nullptr;
  for (const TRoute& route : routes_) {
    if (route.Path == path) {
      return &route;
    }
    const bool below =
        route.Path.ends_with('*') && path.starts_with(route.Path.substr(0, route.Path.size() - 1));
    if (below && (!found || route.Path.size() > found->Path.size())) {
      found = &route;
    }
  }
  return found;
}

bool TRouteTable::IsSlow(std::string_view target) const {
  if (!target.starts_with(mount_)) {
    return false;
  }
  const std::string_view below = target.substr(mount_.size());
  const TRoute* route = Find(below.substr(0, below.find('?')));
  return route && route->Pace == TPace::Slow;
}

TSiteResponse TRouteTable::Respond(const TSiteRequest& request) const {
  if (request.Method != "GET" && request.Method != "HEAD") {
    auto refusal = StatusPage(405, "Method Not Allowed", "Only GET and HEAD are served.");
    refusal.Headers.emplace_back("Allow", "GET, HEAD");
    AddCacheControl(refusal, TAnswerKind::Listing, policy_);
    return refusal;
  }
  const std::string_view below =
      request.Target.starts_with(mount_) ? request.Target.substr(mount_.size()) : "";
  const auto mark = below.find('?');
  const TRequestContext context{
      .Request = request,
      .Mount = mount_,
      .Path = below.substr(0, mark),
      .Query = mark == std::string_view::npos ? std::string_view() : below.substr(mark + 1)};
  const TRoute* route = context.Path.starts_with('/') ? Find(context.Path) : nullptr;
  TSiteResponse response;
  if (!route) {
    response = StatusPage(400, "Bad Request", "The request target must be a path.");
  } else {
    try {
      response = route->Answer(context);
    } catch (const std::exception& e) {
      response = StatusPage(500, "Internal Server Error", e.what());
    }
    if (response.Status == 200 && ClientHasTheReply(request, response)) {
      response = NotModified(response);
    }
  }
  AddCacheControl(response, route ? route->Kind : TAnswerKind::Listing, policy_);
  return response;
}

bool ClientCopyIsCurrent(const TSiteRequest& request, std::initializer_list<std::string_view> tags,
                         std::optional<std::time_t> lastModified) {
  if (!request.IfNoneMatch.empty()) {
    for (const std::string_view tag : tags) {
      if (MatchesEntityTag(request.IfNoneMatch, tag)) {
        return true;
      }
    }
    return false;
  }
  return lastModified && !request.IfModifiedSince.empty() &&
         UnmodifiedSince(request.IfModifiedSince, *lastModified);
}

TSiteResponse NotModified(const TSiteResponse& full) {
  TSiteResponse response;
  response.Status = 304;
  for (const std::string_view name : kValidators) {
    if (const std::string_view value = full.Header(name); !value.empty()) {
      response.Headers.emplace_back(std::string(name), std::string(value));
    }
  }
  return response;
}

}  // namespace tomelet::serve
