#include "serve/LibrarySite.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "library/Catalogue.h"
#include "library/LibrarySearch.h"
#include "platform/text/PercentEscapes.h"
#include "search/DocumentIndex.h"
#include "search/ResultsPage.h"
#include "serve/EntryBodies.h"
#include "serve/HttpDate.h"
#include "serve/PasswordGate.h"
#include "serve/StatusPage.h"

namespace tomelet::serve {
namespace {

constexpr std::string_view kLibraryPrefix = "/-/";
constexpr std::string_view kFilePrefix = "/-/file/";
constexpr std::size_t kLibrarySuggestions = 10;

TSiteResponse LibraryReply(std::string contentType, std::string body) {
  TSiteResponse response;
  response.Headers = {{"Content-Type", std::move(contentType)}};
  response.ContentLength = static_cast<std::int64_t>(body.size());
  response.Body = TextBody(std::move(body));
  return response;
}

// A document's site, kept by the library beside the open document and let go with it. Its
// entries come from the server's one budget, which the mount brings.
struct TSiteCompanion final : library::TDocumentCompanion {
  TSiteCompanion(std::shared_ptr<const TDocument> archive, TSiteRules rules, TDocumentMount mount)
      : Site(archive, archive->Options().StartPage(), kDefaultMemoryBudget, std::move(rules),
             std::move(mount)) {}
  TDocumentSite Site;
};

// Keeps a document's site, and so its archive, alive until the last byte of a reply it gave has
// gone, even when the document is closed or replaced meanwhile.
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

TSiteResponse WithheldPage() {
  return StatusPage(403, "Forbidden",
                    "The document is protected by a password that the server was not given.");
}

// Whether the document may be searched by anyone: it has no password. One that cannot be opened
// counts as having one, since nothing is known of it. The facts are read once, so a search
// opens no document only to ask.
bool IsOpenToAll(const library::TLibraryDocument& document) {
  const auto facts = document.Facts();
  return facts.Error.empty() && !facts.Protected;
}

TSiteResponse Redirect(int status, std::string location) {
  TSiteResponse response = StatusPage(status, "Moved Permanently", "The document is " + location);
  response.Headers.emplace_back("Location", std::move(location));
  return response;
}

}  // namespace

struct TLibrarySite::Impl {
  Impl(const library::TLibrary& library, TLibraryRules rules, std::shared_ptr<TEntryCache> entries)
      : library(library),
        rules(std::move(rules)),
        entries(entries ? std::move(entries)
                        : std::make_shared<TEntryCache>(kDefaultMemoryBudget)) {}

  const library::TLibrary& library;
  TLibraryRules rules;
  std::shared_ptr<TEntryCache> entries;

  std::shared_ptr<const TDocumentSite> SiteOf(const library::TLibraryDocument& document,
                                              TSiteRules own) const;
  TSiteRules RulesFor(const library::TLibraryDocument& document) const;
  bool Withheld(const library::TLibraryDocument& document, const TSiteRules& own) const;
  TSiteResponse Route(const TSiteRequest& request) const;
  TSiteResponse Own(std::string_view target, const TSiteRequest& request) const;
  TSiteResponse Search(std::string_view path, std::string_view queryString) const;
  TSiteResponse File(std::string_view name, const TSiteRequest& request) const;
  TSiteResponse Document(std::string_view target, const TSiteRequest& request) const;
};

std::shared_ptr<const TDocumentSite> TLibrarySite::Impl::SiteOf(
    const library::TLibraryDocument& document, TSiteRules own) const {
  const auto companion = document.Companion([&](auto archive, auto index) {
    return std::make_shared<const TSiteCompanion>(
        std::move(archive), std::move(own),
        TDocumentMount{"/" + document.Name(), std::move(index), entries});
  });
  const auto& site = static_cast<const TSiteCompanion&>(*companion).Site;
  return std::shared_ptr<const TDocumentSite>(companion, &site);
}

// The rules of the document served alone, with its NAME as the realm: what the browser shows
// when it asks is then nothing the catalogue does not show already.
TSiteRules TLibrarySite::Impl::RulesFor(const library::TLibraryDocument& document) const {
  return {.MaxAge = rules.MaxAge,
          .Password = document.Archive()->Options().AccessPassword(),
          .Realm = document.Name()};
}

// As a document alone is not served without the password at start, a password document of the
// library is not served to anyone unless the server was given its password.
bool TLibrarySite::Impl::Withheld(const library::TLibraryDocument& document,
                                  const TSiteRules& own) const {
  if (own.Password.empty()) {
    return false;
  }
  const auto given = rules.Passwords.find(document.Name());
  return given == rules.Passwords.end() || !PasswordMatches(given->second, own.Password);
}

TLibrarySite::TLibrarySite(const library::TLibrary& library, TLibraryRules rules,
                           std::shared_ptr<TEntryCache> entries)
    : impl_(std::make_unique<Impl>(library, std::move(rules), std::move(entries))) {}

TLibrarySite::~TLibrarySite() = default;

bool TLibrarySite::IsSlow(std::string_view target) const {
  if (target.starts_with(kLibraryPrefix)) {
    return true;
  }
  const auto slash = target.find('/', 1);
  return slash != std::string_view::npos && target.substr(slash).starts_with(kLibraryPrefix);
}

// The library's own answers are the same for every client, so they take the listings' caching;
// a document's answers and the document files carry their own.
TSiteResponse TLibrarySite::Respond(const TSiteRequest& request) const {
  TSiteResponse response = impl_->Route(request);
  AddCacheControl(response, TAnswerKind::Listing, {.EntryMaxAge = impl_->rules.MaxAge});
  return response;
}

TSiteResponse TLibrarySite::Impl::Route(const TSiteRequest& request) const {
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
      return Own(path, request);
    }
    return Document(request.Target, request);
  } catch (const std::exception& e) {
    return StatusPage(500, "Internal Server Error", e.what());
  }
}

TSiteResponse TLibrarySite::Impl::Own(std::string_view path, const TSiteRequest& request) const {
  const auto mark = request.Target.find('?');
  const std::string_view queryString =
      mark == std::string_view::npos ? std::string_view() : request.Target.substr(mark + 1);
  if (path == "/-/search" || path == "/-/search.json" || path == "/-/suggest") {
    return Search(path, queryString);
  }
  if (path.starts_with(kFilePrefix)) {
    return File(path.substr(kFilePrefix.size()), request);
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

// Password documents stay out whatever credentials come with the request, so the answer is the
// same for everyone; their own search is under "/NAME/-/search", behind their gate.
TSiteResponse TLibrarySite::Impl::Search(std::string_view path,
                                         std::string_view queryString) const {
  const auto documents = library.Documents();
  const auto asked = search::ParseResultsQuery(queryString);
  const auto query = library::ReadLibraryQuery(asked.Text, NamedDocuments(queryString), *documents);
  const library::TDocumentFilter searchable = [](const library::TLibraryDocument& document) {
    return IsOpenToAll(document);
  };
  if (path == "/-/suggest") {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [name, page] : library::SuggestLibrary(*documents, query, kLibrarySuggestions,
                                                            searchable, library.OpenLimit())) {
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
  const auto results = library::SearchLibrary(*documents, query, asked.Start, asked.Limit,
                                              searchable, library.OpenLimit());
  if (path == "/-/search.json") {
    return LibraryReply("application/json", library::LibraryResultsJson(results) + "\n");
  }
  return LibraryReply("text/html; charset=utf-8",
                      library::LibraryResultsHtml(asked.Text, results, asked.Start, asked.Limit));
}

// The whole file, to whoever may read the document's pages: behind the same gate, kept by the
// same caches for as long as its entries.
TSiteResponse TLibrarySite::Impl::File(std::string_view name, const TSiteRequest& request) const {
  const auto document = library.Find(name);
  if (!document) {
    return StatusPage(404, "Not Found", "The library has no document " + std::string(name) + ".");
  }
  const TSiteRules own = RulesFor(*document);
  if (Withheld(*document, own)) {
    return WithheldPage();
  }
  const TPasswordGate gate(own.Password, own.Realm);
  if (!gate.Admits(request.Authorization)) {
    return gate.Challenge();
  }
  const auto archive = document->Archive();
  const std::time_t modified = archive->Identity().Modified.tv_sec;
  TSiteResponse response;
  response.Headers = {{"Last-Modified", FormatHttpDate(modified)}};
  if (!request.IfModifiedSince.empty() && UnmodifiedSince(request.IfModifiedSince, modified)) {
    response.Status = 304;
  } else {
    response.Headers.emplace_back("Content-Type", std::string(library::kDocumentFileType));
    response.Headers.emplace_back("Content-Disposition",
                                  "attachment; filename=\"" + document->Name() + ".tlt\"");
    response.ContentLength = document->Stamp().Size;
    response.Body = FileBlockBody(archive, {0, document->Stamp().Size});
  }
  AddCacheControl(response, TAnswerKind::Entry,
                  {.EntryMaxAge = rules.MaxAge, .Private = !gate.IsOpen()});
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
  TSiteRules own = RulesFor(*document);
  if (Withheld(*document, own)) {
    return WithheldPage();
  }
  const auto site = SiteOf(*document, std::move(own));
  TSiteResponse response = site->Respond(request);
  if (response.Body) {
    response.Body = std::make_unique<TSiteHeldBody>(site, std::move(response.Body));
  }
  return response;
}

}  // namespace tomelet::serve
