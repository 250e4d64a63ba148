#include "tools/tomelet/serve/LibrarySite.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "library/Catalogue.h"
#include "library/LibrarySearch.h"
#include "platform/text/PercentEscapes.h"
#include "search/DocumentIndex.h"
#include "search/ResultsPage.h"
#include "tools/tomelet/serve/EntryBodies.h"
#include "tools/tomelet/serve/StatusPage.h"

namespace tomelet::serve {
namespace {

constexpr std::string_view kLibraryPrefix = "/-/";
constexpr std::string_view kFilePrefix = "/-/file/";
constexpr std::size_t kLibrarySuggestions = 10;

TSiteResponse LibraryReply(std::string contentType, std::string body) {
  TSiteResponse response;
  response.Headers = {{"Content-Type", std::move(contentType)}, {"Cache-Control", "no-store"}};
  response.ContentLength = static_cast<std::int64_t>(body.size());
  response.Body = TextBody(std::move(body));
  return response;
}

// Keeps a document's site, and so its archive and its memory budget, alive until the last byte
// of a reply it gave has gone, even when the document is replaced meanwhile.
class TSiteHeldBody final : public TBodySource {
 public:
  TSiteHeldBody(std::shared_ptr<const TDocumentSite> site, std::unique_ptr<TBodySource> body)
      : site_(std::move(site)), body_(std::move(body)) {}
  std::span<const std::byte> Next() override { return body_->Next(); }

 private:
  std::shared_ptr<const TDocumentSite> site_;
  std::unique_ptr<TBodySource> body_;
};

// The "doc" values of a query string, and the rest as the one-document search reads it.
std::vector<std::string> NamedDocuments(std::string_view queryString) {
  std::vector<std::string> named;
  while (!queryString.empty()) {
    const auto amp = queryString.find('&');
    const std::string_view pair = queryString.substr(0, amp);
    queryString = amp == std::string_view::npos ? std::string_view() : queryString.substr(amp + 1);
    if (pair.starts_with("doc=")) {
      named.push_back(PercentDecoded(pair.substr(4), TPlusSign::Space, TBadEscape::Kept));
    }
  }
  return named;
}

TSiteResponse Redirect(int status, std::string location) {
  TSiteResponse response = StatusPage(status, "Moved Permanently", "The document is " + location);
  response.Headers.emplace_back("Location", std::move(location));
  return response;
}

}  // namespace

std::optional<TSiteResponse> TPasswordsGivenAtStart::Refusal(
    const library::TLibraryDocument& document, const TSiteRequest&) const {
  const auto given = passwords_.find(document.Name());
  if (given != passwords_.end()) {
    const auto archive = document.Archive();
    const auto stored = archive->Options().AccessPassword();
    if (PasswordMatches(given->second, stored)) {
      return std::nullopt;
    }
  }
  return StatusPage(403, "Forbidden",
                    "The document is protected by a password that the server was not given.");
}

struct TLibrarySite::Impl {
  Impl(const library::TLibrary& library, std::unique_ptr<TDocumentGate> gate,
       std::size_t memoryBudget)
      : library(library), gate(std::move(gate)), memoryBudget(memoryBudget) {}

  const library::TLibrary& library;
  std::unique_ptr<TDocumentGate> gate;
  std::size_t memoryBudget;
  mutable std::mutex lock;
  mutable std::shared_ptr<const library::TDocumentList> seen;
  mutable std::map<const library::TLibraryDocument*, std::shared_ptr<const TDocumentSite>> sites;

  std::shared_ptr<const TDocumentSite> SiteOf(
      const std::shared_ptr<library::TLibraryDocument>& document) const;
  void ForgetGone(const std::shared_ptr<const library::TDocumentList>& now) const;
  bool Allowed(const library::TLibraryDocument& document, const TSiteRequest& request) const;
  TSiteResponse Own(std::string_view target, const TSiteRequest& request) const;
  TSiteResponse Search(std::string_view path, std::string_view queryString,
                       const TSiteRequest& request) const;
  TSiteResponse File(std::string_view name) const;
  TSiteResponse Document(std::string_view target, const TSiteRequest& request) const;
};

// Sites of documents that left the library are let go once they are no longer listed; replies
// still under way hold them on their own.
void TLibrarySite::Impl::ForgetGone(
    const std::shared_ptr<const library::TDocumentList>& now) const {
  if (now == seen) {
    return;
  }
  std::erase_if(sites, [&](const auto& entry) {
    return std::none_of(now->begin(), now->end(),
                        [&](const auto& document) { return document.get() == entry.first; });
  });
  seen = now;
}

std::shared_ptr<const TDocumentSite> TLibrarySite::Impl::SiteOf(
    const std::shared_ptr<library::TLibraryDocument>& document) const {
  const auto now = library.Documents();
  {
    const std::lock_guard guard(lock);
    ForgetGone(now);
    const auto found = sites.find(document.get());
    if (found != sites.end()) {
      return found->second;
    }
  }
  const auto archive = document->Archive();
  auto site = std::make_shared<const TDocumentSite>(
      archive, archive->Options().StartPage(), memoryBudget, TSiteRules{},
      TDocumentMount{"/" + document->Name(), document->Index()});
  const std::lock_guard guard(lock);
  return sites.try_emplace(document.get(), std::move(site)).first->second;
}

bool TLibrarySite::Impl::Allowed(const library::TLibraryDocument& document,
                                 const TSiteRequest& request) const {
  return !document.Facts().Protected || !gate->Refusal(document, request);
}

TLibrarySite::TLibrarySite(const library::TLibrary& library, std::unique_ptr<TDocumentGate> gate,
                           std::size_t memoryBudget)
    : impl_(std::make_unique<Impl>(library, std::move(gate), memoryBudget)) {}

TLibrarySite::~TLibrarySite() = default;

bool TLibrarySite::IsSlow(std::string_view target) const {
  if (target.starts_with(kLibraryPrefix)) {
    return true;
  }
  const auto slash = target.find('/', 1);
  return slash != std::string_view::npos && target.substr(slash).starts_with(kLibraryPrefix);
}

TSiteResponse TLibrarySite::Respond(const TSiteRequest& request) const {
  if (request.Method != "GET" && request.Method != "HEAD") {
    auto response = StatusPage(405, "Method Not Allowed", "Only GET and HEAD are served.");
    response.Headers.emplace_back("Allow", "GET, HEAD");
    return response;
  }
  if (!request.Target.starts_with('/')) {
    return StatusPage(400, "Bad Request", "The request target must be a path.");
  }
  try {
    const std::string_view path = request.Target.substr(0, request.Target.find('?'));
    if (path == "/" || path.starts_with(kLibraryPrefix)) {
      return impl_->Own(path, request);
    }
    return impl_->Document(request.Target, request);
  } catch (const std::exception& e) {
    return StatusPage(500, "Internal Server Error", e.what());
  }
}

TSiteResponse TLibrarySite::Impl::Own(std::string_view path, const TSiteRequest& request) const {
  const auto mark = request.Target.find('?');
  const std::string_view queryString =
      mark == std::string_view::npos ? std::string_view() : request.Target.substr(mark + 1);
  if (path == "/-/search" || path == "/-/search.json" || path == "/-/suggest") {
    return Search(path, queryString, request);
  }
  if (path.starts_with(kFilePrefix)) {
    return File(path.substr(kFilePrefix.size()));
  }
  const auto documents = library.Documents();
  if (path == "/") {
    return LibraryReply("text/html; charset=utf-8",
                        library::CatalogueHtml(library::CatalogueEntries(*documents)));
  }
  if (path == "/-/catalog.json") {
    return LibraryReply("application/json",
                        library::CatalogueJson(library::CatalogueEntries(*documents)));
  }
  if (path == "/-/catalog.atom") {
    return LibraryReply(std::string(library::kOpdsType),
                        library::CatalogueAtom(library::CatalogueEntries(*documents)));
  }
  return StatusPage(404, "Not Found", "The library has no page " + std::string(path) + ".",
                    "<p><a href=\"/\">Library</a></p>");
}

TSiteResponse TLibrarySite::Impl::Search(std::string_view path, std::string_view queryString,
                                         const TSiteRequest& request) const {
  const auto documents = library.Documents();
  const auto asked = search::ParseResultsQuery(queryString);
  const auto query = library::ReadLibraryQuery(asked.Text, NamedDocuments(queryString), *documents);
  const library::TDocumentFilter allowed = [&](const library::TLibraryDocument& document) {
    return Allowed(document, request);
  };
  if (path == "/-/suggest") {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [name, page] :
         library::SuggestLibrary(*documents, query, kLibrarySuggestions, allowed)) {
      const search::TSearchHit hit{page.Path, page.Anchor, page.Title, "", 0};
      list.push_back({{"doc", name},
                      {"title", page.Title},
                      {"url", search::HitAddress(hit, "/" + name + "/")}});
    }
    const nlohmann::ordered_json object = {{"query", query.Text}, {"suggestions", list}};
    return LibraryReply(
        "application/json",
        object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
  }
  const auto results = library::SearchLibrary(*documents, query, asked.Start, asked.Limit, allowed);
  if (path == "/-/search.json") {
    return LibraryReply("application/json", library::LibraryResultsJson(results) + "\n");
  }
  return LibraryReply("text/html; charset=utf-8",
                      library::LibraryResultsHtml(asked.Text, results, asked.Start, asked.Limit));
}

TSiteResponse TLibrarySite::Impl::File(std::string_view name) const {
  const auto document = library.Find(name);
  if (!document) {
    return StatusPage(404, "Not Found", "The library has no document " + std::string(name) + ".");
  }
  if (document->Facts().Protected) {
    return StatusPage(403, "Forbidden", "A protected document is not handed out whole.");
  }
  const auto archive = document->Archive();
  TSiteResponse response;
  response.Headers = {
      {"Content-Type", std::string(library::kDocumentFileType)},
      {"Content-Disposition", "attachment; filename=\"" + document->Name() + ".tlt\""}};
  response.ContentLength = document->Stamp().Size;
  response.Body = FileBlockBody(archive, {0, document->Stamp().Size});
  return response;
}

TSiteResponse TLibrarySite::Impl::Document(std::string_view target,
                                           const TSiteRequest& request) const {
  const auto end = std::min(target.find('/', 1), target.find('?'));
  const std::string_view name = target.substr(1, end == std::string_view::npos ? end : end - 1);
  const auto document = library.Find(name);
  if (!document) {
    return StatusPage(404, "Not Found", "The library has no document " + std::string(name) + ".",
                      "<p><a href=\"/\">Library</a></p>");
  }
  if (end == std::string_view::npos || target[end] != '/') {
    return Redirect(301, "/" + document->Name() + "/");
  }
  if (document->Facts().Protected) {
    if (auto refusal = gate->Refusal(*document, request)) {
      return std::move(*refusal);
    }
  }
  const auto site = SiteOf(document);
  TSiteResponse response = site->Respond(request);
  if (response.Body) {
    response.Body = std::make_unique<TSiteHeldBody>(site, std::move(response.Body));
  }
  return response;
}

}  // namespace tomelet::serve
