// A library as a web site: "/" is the catalogue, each document lives under "/NAME/" and answers
// there as it would alone, and "/-/..." holds the library's catalogue feeds and its search
// across every document.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "library/Library.h"
#include "serve/DocumentSite.h"

namespace tomelet::serve {

// Who may read the library's documents and how long its answers may be kept.
struct TLibraryRules {
  // Seconds each document's entries stay fresh in browsers and caches.
  unsigned MaxAge = kDefaultMaxAge;
  // The password of each password document the server was given, by NAME. A password document
  // named here with its own password is served, as a document alone is, to the clients that
  // send that password with HTTP Basic (TPasswordGate, realm NAME); any other is refused to
  // every client.
  std::map<std::string, std::string> Passwords;
};

// A password document never shows more than its NAME in the catalogue, and never appears in the
// search across the library, whatever a client sends: those answers are the same for everyone,
// so shared caches may keep them. Its own addresses, its own search and its file are behind its
// gate.
class TLibrarySite final : public TSite {
 public:
  // entries: the memory budget of the whole server, with its cache, shared by every document;
  // null for one of kDefaultMemoryBudget. A document's site lives beside the open document and
  // is let go when the library closes it.
  TLibrarySite(const library::TLibrary& library, TLibraryRules rules = {},
               std::shared_ptr<TEntryCache> entries = nullptr);
  ~TLibrarySite() override;

  TSiteResponse Respond(const TSiteRequest& request) const override;
  bool IsSlow(std::string_view target) const override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::serve
