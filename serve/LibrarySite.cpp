#include "serve/LibrarySite.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "library/LibrarySearch.h"
#include "platform/text/Fnv1a.h"
#include "platform/text/QueryString.h"
#include "search/DocumentIndex.h"
#include "search/ResultsPage.h"
#include "serve/EntryBodies.h"
#include "serve/HttpDate.h"
#include "serve/LibraryPages.h"
#include "serve/PasswordGate.h"
#include "serve/Replies.h"
#include "serve/Routes.h"

namespace tomelet::serve {
namespace {

constexpr std::string_view kFilePrefix = "/-/file/";

// A document's site, kept by the library beside the open document and let go with it. Its
// entries come from the server's one budget, which the mount brings.
struct TSiteCompanion final : library::TDocumentCompanion {
  TSiteCompanion(std::shared_ptr<const TDocument> archive, TSiteRules rules, TDocumentMount mount)
      : Site(archive, archive->Options().StartPageOption(), kDefaultMemoryBudget, std::move(rules),
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

// The catalogue's answers change only with the library, so their bytes are their tag: a client
// whose copy is still current is told so in a few bytes, as for an entry.
TSiteResponse TaggedListing(const TSiteRequest& request, std::string_view type, std::string body) {
  const std::string tag = "\"" + std::to_string(Fnv1a(body)) + "\"";
  TSiteResponse response = TextReply(200, type, std::move(body));
  response.Headers.emplace_back("ETag", tag);
  return ClientCopyIsCurrent(request, {tag}, std::nullopt) ? NotModified(response)
                                                           : std::move(response);
}

// Password documents stay out whatever credentials come with the request, so the answer is the
// same for everyone; their own search is under "/NAME/-/search", behind their gate.
const library::TDocumentFilter kOpenToAll = IsOpenToAll;

}  // namespace

struct TLibrarySite::Impl {
  Impl(const library::TLibrary& library, TLibraryRules rules, std::shared_ptr<TEntryCache> entries);

  const library::TLibrary& library;
  TLibraryRules rules;
  std::shared_ptr<TEntryCache> entries;
  TRouteTable routes;

  std::shared_ptr<const TDocumentSite> SiteOf(const library::TLibraryDocument& document,
                                              TSiteRules own) const;
  TSiteRules RulesFor(const library::TLibraryDocument& document) const;
  bool Withheld(const library::TLibraryDocument& document, const TSiteRules& own) const;
  TSiteResponse Catalogue(const TRequestContext& context) const;
  TSiteResponse CatalogueJson(const TRequestContext& context) const;
  TSiteResponse CatalogueFeed(const TRequestContext& context) const;
  TSiteResponse ResultsPage(const TRequestContext& context) const;
  TSiteResponse ResultsJson(const TRequestContext& context) const;
  TSiteResponse Suggestions(const TRequestContext& context) const;
  TSiteResponse File(const TRequestContext& context) const;
  TSiteResponse NoOwnPage(const TRequestContext& context) const;
  TSiteResponse Document(const TRequestContext& context) const;

  library::TLibraryQuery Query(const TRequestContext& context,
                               const library::TDocumentList& documents) const;
  library::TLibraryResults Results(const TRequestContext& context) const;
};

namespace {

std::vector<TRoute> LibraryRoutes(const TLibrarySite::Impl& site) {
  using Impl = TLibrarySite::Impl;
  const auto own = [&site](TSiteResponse (Impl::*answer)(const TRequestContext&) const) {
    return [&site, answer](const TRequestContext& context) { return (site.*answer)(context); };
  };
  using enum TPace;
  using enum TAnswerKind;
  return {
      {"/", Quick, Listing, own(&Impl::Catalogue)},
      {"/-/catalog.json", Quick, Listing, own(&Impl::CatalogueJson)},
      {"/-/catalog.atom", Quick, Listing, own(&Impl::CatalogueFeed)},
      {"/-/search", Slow, Listing, own(&Impl::ResultsPage)},
      {"/-/search.json", Slow, Listing, own(&Impl::ResultsJson)},
      {"/-/suggest", Slow, Listing, own(&Impl::Suggestions)},
      {"/-/file/*", Quick, Entry, own(&Impl::File)},
      {"/-/*", Quick, Listing, own(&Impl::NoOwnPage)},
      // A document's answers carry the Cache-Control of its own site.
      {"*", Quick, Listing, own(&Impl::Document)},
  };
}

}  // namespace

TLibrarySite::Impl::Impl(const library::TLibrary& library, TLibraryRules rules,
                         std::shared_ptr<TEntryCache> entries)
    : library(library),
      rules(std::move(rules)),
      entries(entries ? std::move(entries) : std::make_shared<TEntryCache>(kDefaultMemoryBudget)),
      routes("", LibraryRoutes(*this), {.EntryMaxAge = this->rules.MaxAge}) {}

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

// A document's own pages are told by their path alone, so asking opens no document.
bool TLibrarySite::IsSlow(std::string_view target) const {
  const std::string_view path = target.substr(0, target.find('?'));
  if (path == "/" || path.starts_with(kOwnPagesPrefix)) {
    return impl_->routes.IsSlow(target);
  }
  const auto slash = path.find('/', 1);
  return slash != std::string_view::npos && TDocumentSite::IsSlowPath(path.substr(slash));
}

TSiteResponse TLibrarySite::Respond(const TSiteRequest& request) const {
  return impl_->routes.Respond(request);
}

TSiteResponse TLibrarySite::Impl::Catalogue(const TRequestContext& context) const {
  return TaggedListing(context.Request, kHtmlType,
                       serve::CatalogueHtml(library::CatalogueEntries(*library.Documents())));
}

TSiteResponse TLibrarySite::Impl::CatalogueJson(const TRequestContext& context) const {
  return TaggedListing(context.Request, kJsonType,
                       serve::CatalogueJson(library::CatalogueEntries(*library.Documents())));
}

TSiteResponse TLibrarySite::Impl::CatalogueFeed(const TRequestContext& context) const {
  return TaggedListing(context.Request, kOpdsType,
                       serve::CatalogueAtom(library::CatalogueEntries(*library.Documents())));
}

TSiteResponse TLibrarySite::Impl::NoOwnPage(const TRequestContext& context) const {
  return StatusPage(404, "Not Found", "The library has no page " + std::string(context.Path) + ".",
                    "<p><a href=\"/\">Library</a></p>");
}

library::TLibraryQuery TLibrarySite::Impl::Query(const TRequestContext& context,
                                                 const library::TDocumentList& documents) const {
  return library::ReadLibraryQuery(search::ParseResultsQuery(context.Query).Text,
                                   QueryValues(context.Query, "doc"), documents);
}

library::TLibraryResults TLibrarySite::Impl::Results(const TRequestContext& context) const {
  const auto documents = library.Documents();
  const auto asked = search::ParseResultsQuery(context.Query);
  return library::SearchLibrary(*documents, Query(context, *documents), asked.Start, asked.Limit,
                                kOpenToAll, library.OpenLimit(), library.Workers());
}

TSiteResponse TLibrarySite::Impl::ResultsPage(const TRequestContext& context) const {
  const auto asked = search::ParseResultsQuery(context.Query);
  return TextReply(200, kHtmlType,
                   LibraryResultsHtml(asked.Text, Results(context), asked.Start, asked.Limit));
}

TSiteResponse TLibrarySite::Impl::ResultsJson(const TRequestContext& context) const {
  return TextReply(200, kJsonType, library::LibraryResultsJson(Results(context)) + "\n");
}

TSiteResponse TLibrarySite::Impl::Suggestions(const TRequestContext& context) const {
  const auto documents = library.Documents();
  const auto query = Query(context, *documents);
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& [name, page] :
       library::SuggestLibrary(*documents, query, search::kSuggestionsShown, kOpenToAll,
                               library.OpenLimit(), library.Workers())) {
    const search::TSearchHit hit{page.Path, page.Anchor, page.Title, "", 0};
    list.push_back(
        {{"doc", name}, {"title", page.Title}, {"url", search::HitAddress(hit, "/" + name + "/")}});
  }
  return JsonReply(200, {{"query", query.Text}, {"suggestions", list}});
}

namespace {

// The tag of the file the document was opened from: another file, or the same one changed, has
// another, so a download resumed with If-Range never joins the bytes of two files.
std::string FileTag(const TFileIdentity& file) {
  return "\"" + std::to_string(file.Inode) + "-" + std::to_string(file.Size) + "-" +
         std::to_string(Nanoseconds(file.StatusChanged)) + "\"";
}

}  // namespace

// The whole file, to whoever may read the document's pages: behind the same gate, kept by the
// same caches for as long as its entries.
TSiteResponse TLibrarySite::Impl::File(const TRequestContext& context) const {
  const TSiteRequest& request = context.Request;
  const std::string_view name = context.Path.substr(kFilePrefix.size());
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
  const TFileIdentity& file = archive->Identity();
  const std::int64_t size = file.Size;
  const std::string tag = FileTag(file);
  TSiteResponse response;
  response.Headers = {{"Last-Modified", FormatHttpDate(file.Modified.tv_sec)}, {"ETag", tag}};
  const TByteRange range = RequestedRange(request, size, tag);
  if (ClientCopyIsCurrent(request, {tag}, file.Modified.tv_sec)) {
    response.Status = 304;
  } else if (range.Verdict == TByteRange::Kind::Unsatisfiable) {
    response = RangeNotSatisfiable(size);
  } else {
    response.Headers.emplace_back("Content-Type", std::string(kDocumentFileType));
    response.Headers.emplace_back("Content-Disposition",
                                  "attachment; filename=\"" + document->Name() + ".tlt\"");
    response.Headers.emplace_back("Accept-Ranges", "bytes");
    const TByteRange part = range.Verdict == TByteRange::Kind::Part
                                ? range
                                : TByteRange{TByteRange::Kind::Part, 0, size};
    response.ContentLength = size;
    if (range.Verdict == TByteRange::Kind::Part) {
      MakePartial(response, part, size);
    }
    response.Body = FileBlockBody(archive, {part.First, part.Length});
  }
  AddCacheControl(response, TAnswerKind::Entry,
                  {.EntryMaxAge = rules.MaxAge, .Private = !gate.IsOpen()});
  return response;
}

TSiteResponse TLibrarySite::Impl::Document(const TRequestContext& context) const {
  const TSiteRequest& request = context.Request;
  const std::string_view target = request.Target;
  const auto end = std::min(target.find('/', 1), target.find('?'));
  const std::string_view name = target.substr(1, end == std::string_view::npos ? end : end - 1);
  const auto document = library.Find(name);
  if (!document) {
    return StatusPage(404, "Not Found", "The library has no document " + std::string(name) + ".",
                      "<p><a href=\"/\">Library</a></p>");
  }
  if (end == std::string_view::npos || target[end] != '/') {
    return Redirect(301, "document", "/" + document->Name() + "/");
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
