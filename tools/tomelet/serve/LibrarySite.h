// A library as a web site: "/" is the catalogue, each document lives under "/NAME/" and answers
// there as it would alone, and "/-/..." holds the library's catalogue feeds and its search
// across every document.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "library/Library.h"
#include "tools/tomelet/serve/DocumentSite.h"

namespace tomelet::serve {

// Decides, request by request, whether a protected document may be answered. Whatever it
// refuses stays out of the library's search and catalogue as well.
class TDocumentGate {
 public:
  virtual ~TDocumentGate() = default;
  // Null to let the request through; else the reply that refuses it. Called for protected
  // documents only. Thread-safe.
  virtual std::optional<TSiteResponse> Refusal(const library::TLibraryDocument& document,
                                               const TSiteRequest& request) const = 0;
};

// Lets through the protected documents whose password the server was given at start, as a
// document served alone is; every other one is refused with 403.
class TPasswordsGivenAtStart final : public TDocumentGate {
 public:
  // passwords maps a document's NAME to its password.
  explicit TPasswordsGivenAtStart(std::map<std::string, std::string> passwords)
      : passwords_(std::move(passwords)) {}
  std::optional<TSiteResponse> Refusal(const library::TLibraryDocument& document,
                                       const TSiteRequest& request) const override;

 private:
  std::map<std::string, std::string> passwords_;
};

class TLibrarySite final : public TSite {
 public:
  // memoryBudget is given to each document site as TDocumentSite takes it.
  TLibrarySite(const library::TLibrary& library, std::unique_ptr<TDocumentGate> gate,
               std::size_t memoryBudget = kDefaultMemoryBudget);
  ~TLibrarySite() override;

  TSiteResponse Respond(const TSiteRequest& request) const override;
  bool IsSlow(std::string_view target) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::serve
