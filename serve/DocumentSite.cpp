#include "serve/DocumentSite.h"

#include <algorithm>
#include <atomic>

#include "ZLIBArchive2/EntryChecks.h"
#include "document/ContentType.h"
#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentRequest.h"
#include "platform/mime/MimeTable.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/PercentEscapes.h"
#include "platform/text/ShownText.h"
#include "search/SearchIndex.h"
#include "serve/EntryBodies.h"
#include "serve/HttpDate.h"
#include "serve/HttpRange.h"
#include "serve/MapPages.h"
#include "serve/PasswordGate.h"
#include "serve/Replies.h"
#include "serve/Routes.h"
#include "serve/SearchPages.h"

namespace tomelet::serve {

namespace {

// Entries up to this size are read whole, checked and kept while the memory budget allows, so
// that damage is answered with an error before the headers; larger ones, and those the budget
// has no room for, are inflated in pieces per request and checked as they stream.
constexpr std::int64_t kCachedEntryLimit = std::int64_t{8} << 20;

// What an entry's bytes say about its charset, learnt once per entry.
enum TCharsetVerdict : std::uint8_t { kNotRead, kUtf8, kAsTyped };

// Escapes only what may not stand in a URL, so the start page keeps the meaning it has in
// the viewer, where it is used without any escaping.
std::string LocationFor(std::string_view startPage) {
  return "/" + PercentEncoded(startPage, "!#$%&'()*+,/:;=?@[]");
}

bool HasDotSegment(std::string_view archivePath) {
  while (true) {
    const auto slash = archivePath.find('\\');
    const auto segment = archivePath.substr(0, slash);
    if (segment == "." || segment == "..") {
      return true;
    }
    if (slash == std::string_view::npos) {
      return false;
    }
    archivePath.remove_prefix(slash + 1);
  }
}

// While a document file is written over in place, none of its bytes can be trusted; the new
// file is served once it is complete and looked at again.
TSiteResponse Rewritten() {
  TSiteResponse response =
      StatusPage(503, "Service Unavailable",
                 "The document file is being written over; try again in a moment.");
  response.Headers.emplace_back("Retry-After", "1");
  return response;
}

// The way back from a missing page: the start page and the search.
std::string WayBack(std::string_view mount) {
  const std::string root(mount);
  return "<p><a href=\"" + root + "/\">Start page</a> &middot; <a href=\"" + root +
         "/-/search\">Search</a></p>";
}

// The target with a "/" after its path, as the client wrote it, so its escapes stay as they were.
std::string FolderLocation(std::string_view target) {
  const auto pathEnd = std::min(target.find('?'), target.size());
  return std::string(target.substr(0, pathEnd)) + "/" + std::string(target.substr(pathEnd));
}

// The entry's content tag; "-z" marks the deflated form of the same bytes.
std::string EntityTag(const std::string& contentTag, bool deflated) {
  return "\"" + contentTag + (deflated ? "-z\"" : "\"");
}

}  // namespace

std::string_view TSiteResponse::Header(std::string_view name) const {
  for (const auto& [key, value] : Headers) {
    if (EqualsFoldedAscii(key, name)) {
      return value;
    }
  }
  return {};
}

struct TDocumentSite::Impl {
  ~Impl() {
    if (cache) {
      cache->Forget(owner);
    }
  }

  std::shared_ptr<const TDocument> archive;
  std::string startLocation;
  std::shared_ptr<TEntryCache> cache;
  std::uint64_t owner = 0;
  std::unique_ptr<TSearchPages> searchPages;
  std::unique_ptr<TMapPages> mapPages;
  std::unique_ptr<TPasswordGate> gate;
  std::unique_ptr<TRouteTable> routes;
  std::string lastModified;
  std::unique_ptr<std::atomic<std::uint8_t>[]> charsets;

  TSiteResponse StartPage(const TRequestContext& context) const;
  TSiteResponse Logo(const TRequestContext& context) const;
  TSiteResponse NoOwnPage(const TRequestContext& context) const;
  TSiteResponse Entry(const TRequestContext& context) const;
  TSiteResponse ServeEntry(int index, std::string_view mimeType, const TSiteRequest& request) const;
  TSiteResponse NotModified(int index, const std::string& tag) const;
  void AddEntryHeaders(TSiteResponse& response, int index) const;
  std::string EntryType(int index, std::string_view mimeType) const;
  std::unique_ptr<TBodySource> IdentityBody(int index, std::int64_t first,
                                            std::int64_t length) const;
};

namespace {

// Every address of a document's site. Built without a site, for its paces alone.
std::vector<TRoute> DocumentRoutes(const TDocumentSite::Impl* site) {
  using Impl = TDocumentSite::Impl;
  const auto own = [site](TSiteResponse (Impl::*answer)(const TRequestContext&) const) {
    return [site, answer](const TRequestContext& context) { return (site->*answer)(context); };
  };
  const auto search = [site](TSiteResponse (TSearchPages::*answer)(const TRequestContext&) const) {
    return [site, answer](const TRequestContext& context) {
      return (*site->searchPages.*answer)(context);
    };
  };
  const auto map = [site](TSiteResponse (TMapPages::*answer)(const TRequestContext&) const) {
    return [site, answer](const TRequestContext& context) {
      return (*site->mapPages.*answer)(context);
    };
  };
  using enum TPace;
  using enum TAnswerKind;
  return {
      {"/", Quick, Entry, own(&Impl::StartPage)},
      {"/favicon.ico", Quick, Entry, own(&Impl::Logo)},
      {"/-/search", Slow, Listing, search(&TSearchPages::ResultsPage)},
      {"/-/search.json", Slow, Listing, search(&TSearchPages::ResultsJson)},
      {"/-/suggest", Slow, Listing, search(&TSearchPages::Suggestions)},
      {"/-/contents", Slow, Unstored, map(&TMapPages::ContentsPage)},
      {"/-/contents.json", Slow, Unstored, map(&TMapPages::ContentsJson)},
      {"/-/keywords.json", Slow, Unstored, map(&TMapPages::Keywords)},
      {"/-/outline.json", Slow, Unstored, map(&TMapPages::Outline)},
      {"/-/*", Slow, Listing, own(&Impl::NoOwnPage)},
      {"*", Quick, Entry, own(&Impl::Entry)},
  };
}

}  // namespace

TDocumentSite::TDocumentSite(std::shared_ptr<const TDocument> archive,
                             std::string_view startPageOption, std::size_t memoryBudget,
                             TSiteRules rules, TDocumentMount mount)
    : impl_(std::make_unique<Impl>()) {
  impl_->archive = std::move(archive);
  impl_->gate = std::make_unique<TPasswordGate>(std::move(rules.Password), rules.Realm);
  impl_->lastModified = FormatHttpDate(impl_->archive->Identity().Modified.tv_sec);
  impl_->charsets = std::make_unique<std::atomic<std::uint8_t>[]>(
      static_cast<std::size_t>(impl_->archive->EntryCount()));
  impl_->cache =
      mount.Entries ? std::move(mount.Entries) : std::make_shared<TEntryCache>(memoryBudget);
  impl_->owner = impl_->cache->NewOwner();
  const std::string startUrl = StartUrl(startPageOption);
  const std::string_view name = std::string_view(startUrl).substr(kDocumentUrlPrefix.size());
  if (!name.empty()) {
    impl_->startLocation = mount.Path + LocationFor(name);
  }
  if (!mount.Index) {
    mount.Index = std::make_shared<search::TBackgroundIndex>(impl_->archive,
                                                             StartPageArchivePath(startPageOption));
  }
  impl_->searchPages = std::make_unique<TSearchPages>(std::move(mount.Index), mount.Path);
  impl_->mapPages = std::make_unique<TMapPages>(impl_->archive,
                                                StartPageArchivePath(startPageOption), mount.Path);
  impl_->routes = std::make_unique<TRouteTable>(
      std::move(mount.Path), DocumentRoutes(impl_.get()),
      TCachePolicy{.EntryMaxAge = rules.MaxAge, .Private = !impl_->gate->IsOpen()});
}

TDocumentSite::~TDocumentSite() = default;

bool TDocumentSite::IsSlow(std::string_view target) const {
  return impl_->routes->IsSlow(target);
}

bool TDocumentSite::IsSlowPath(std::string_view path) {
  static const TRouteTable shape("", DocumentRoutes(nullptr), {});
  return shape.IsSlow(path);
}

// The gate comes first: without the password every address, found or not, gets the same answer.
TSiteResponse TDocumentSite::Respond(const TSiteRequest& request) const {
  if (!impl_->gate->Admits(request.Authorization)) {
    return impl_->gate->Challenge();
  }
  if (!IsIntact(*impl_->archive)) {
    return Rewritten();
  }
  return impl_->routes->Respond(request);
}

TSiteResponse TDocumentSite::Impl::StartPage(const TRequestContext&) const {
  if (startLocation.empty()) {
    return StatusPage(404, "Not Found", "The document names no start page.");
  }
  return Redirect(302, "start page", startLocation);
}

TSiteResponse TDocumentSite::Impl::Logo(const TRequestContext& context) const {
  const int own = archive->IndexOf(kLogoAddress);
  const int index = own >= 0 ? own : archive->IndexOf(kLogoEntry);
  if (index < 0) {
    return Entry(context);
  }
  return ServeEntry(index, *MimeTypeForFileName(kLogoAddress), context.Request);
}

TSiteResponse TDocumentSite::Impl::NoOwnPage(const TRequestContext& context) const {
  return StatusPage(404, "Not Found", "The document has no page " + ShownPath(context.Path) + ".",
                    WayBack(context.Mount));
}

TSiteResponse TDocumentSite::Impl::Entry(const TRequestContext& context) const {
  const TEntryLocation location = LocateEntry(*archive, context.Path.substr(1));
  const std::string& path = location.RequestedPath;
  const bool dotted = HasDotSegment(path);
  // A path that starts with a separator would make the Location lead to another host ("//host").
  if (location.FolderWithoutSlash && !dotted && !path.starts_with('\\')) {
    return Redirect(301, "folder", FolderLocation(context.Request.Target));
  }
  if (!location.Entry.Found() || IsReservedEntry(path) || dotted) {
    return StatusPage(404, "Not Found", "The document has no entry " + ShownPath(path) + ".",
                      WayBack(context.Mount));
  }
  return ServeEntry(location.Entry.Index, location.MimeType, context.Request);
}

TSiteResponse TDocumentSite::Impl::NotModified(int index, const std::string& tag) const {
  TSiteResponse full;
  full.Headers = {{"ETag", tag}};
  AddEntryHeaders(full, index);
  return serve::NotModified(full);
}

// The body differs with Accept-Encoding only where a deflated form can be passed through.
void TDocumentSite::Impl::AddEntryHeaders(TSiteResponse& response, int index) const {
  response.Headers.emplace_back("Last-Modified", lastModified);
  if (archive->IsKeptDeflated(index)) {
    response.Headers.emplace_back("Vary", "Accept-Encoding");
  }
}

// Text types learn their charset from the entry's bytes once; entries too large to read whole
// are sent without one.
std::string TDocumentSite::Impl::EntryType(int index, std::string_view mimeType) const {
  const std::string type(mimeType);
  if (!IsCharsetText(type)) {
    return type;
  }
  auto& verdict = charsets[static_cast<std::size_t>(index)];
  std::uint8_t known = verdict.load(std::memory_order_relaxed);
  if (known == kNotRead) {
    if (archive->Entry(index).Size > kCachedEntryLimit) {
      return type;
    }
    known = WithCharset(type, archive->Contents(index)) == type ? kAsTyped : kUtf8;
    verdict.store(known, std::memory_order_relaxed);
  }
  return known == kUtf8 ? type + "; charset=utf-8" : type;
}

TSiteResponse TDocumentSite::Impl::ServeEntry(int index, std::string_view mimeType,
                                              const TSiteRequest& request) const {
  const bool passThrough = AcceptsDeflate(request.AcceptEncoding) && archive->IsKeptDeflated(index);
  const std::string contentTag = archive->ContentTag(index);
  const std::string identityTag = EntityTag(contentTag, false);
  // The deflated form's tag is written only where it can be asked about or sent.
  const std::string deflateTag =
      passThrough || !request.IfNoneMatch.empty() ? EntityTag(contentTag, true) : std::string();
  // Either form's tag names the same bytes.
  if (ClientCopyIsCurrent(request, {identityTag, deflateTag},
                          archive->Identity().Modified.tv_sec)) {
    return NotModified(index,
                       passThrough && archive->DeflatedBlock(index) ? deflateTag : identityTag);
  }

  TSiteResponse response;
  // Room for every header an entry's reply carries, the Cache-Control added later included.
  response.Headers.reserve(8);
  response.Headers.emplace_back(
      "Content-Type", EntryType(index, mimeType.empty() ? archive->SniffedType(index) : mimeType));
  response.Headers.emplace_back("Accept-Ranges", "bytes");
  AddEntryHeaders(response, index);
  const std::int64_t size = archive->Entry(index).Size;
  const TByteRange range = RequestedRange(request, size, identityTag);
  if (range.Verdict == TByteRange::Kind::Unsatisfiable) {
    return RangeNotSatisfiable(size);
  }
  if (range.Verdict == TByteRange::Kind::Part) {
    response.Headers.emplace_back("ETag", identityTag);
    MakePartial(response, range, size);
    response.Body = IdentityBody(index, range.First, range.Length);
    return response;
  }
  if (const auto block = passThrough ? archive->DeflatedBlock(index) : std::nullopt) {
    response.Headers.emplace_back("ETag", deflateTag);
    response.Headers.emplace_back("Content-Encoding", "deflate");
    response.ContentLength = block->Length;
    response.Body = FileBlockBody(archive, *block);
    return response;
  }
  response.Headers.emplace_back("ETag", identityTag);
  response.ContentLength = size;
  response.Body = IdentityBody(index, 0, size);
  return response;
}

std::unique_ptr<TBodySource> TDocumentSite::Impl::IdentityBody(int index, std::int64_t first,
                                                               std::int64_t length) const {
  const std::int64_t size = archive->Entry(index).Size;
  const bool small = size <= kCachedEntryLimit;
  if (const auto block = small ? archive->PlainBlock(index) : std::nullopt) {
    // Read from the file as the transport asks, once the whole entry has been found sound.
    archive->CheckWhole(index);
    return FileBlockBody(archive, {block->FileOffset + first, length});
  }
  if (small) {
    // Bytes kept in memory are checked once, when they come from the file.
    auto bytes = cache->Get(owner, index, static_cast<std::size_t>(size), [&] {
      auto contents = archive->Contents(index);
      RaiseIfRewritten(*archive);
      return contents;
    });
    if (bytes) {
      if (static_cast<std::int64_t>(bytes->size()) < first + length) {
        RaiseCorrupted();
      }
      return SharedBody(std::move(bytes), first, length);
    }
  }
  return InflatingBody(archive, index, first, length);
}

}  // namespace tomelet::serve
