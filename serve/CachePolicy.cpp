#include "serve/CachePolicy.h"

#include "serve/DocumentSite.h"

namespace tomelet::serve {

namespace {

bool IsEntryAnswer(int status) {
  return status == 200 || status == 206 || status == 304;
}

bool IsShortLived(TAnswerKind kind, int status) {
  return (kind == TAnswerKind::Listing && status == 200) || status == 301 || status == 302 ||
         status == 404;
}

}  // namespace

std::string CacheControlFor(TAnswerKind kind, int status, const TCachePolicy& policy) {
  if (kind == TAnswerKind::Unstored) {
    return "no-store";
  }
  const std::string scope = policy.Private ? "private" : "public";
  if (kind == TAnswerKind::Entry && IsEntryAnswer(status)) {
    return policy.EntryMaxAge == 0 ? scope + ", no-cache"
                                   : scope + ", max-age=" + std::to_string(policy.EntryMaxAge);
  }
  if (IsShortLived(kind, status)) {
    return scope + ", max-age=" + std::to_string(kListingMaxAge);
  }
  return "no-store";
}

void AddCacheControl(TSiteResponse& response, TAnswerKind kind, const TCachePolicy& policy) {
  if (response.Header("Cache-Control").empty()) {
    response.Headers.emplace_back("Cache-Control", CacheControlFor(kind, response.Status, policy));
  }
}

}  // namespace tomelet::serve
