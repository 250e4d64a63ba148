// A library of three documents served on a free loopback port: an English one, a German one in
// a subfolder, and one with a password ("secret", password "pw").
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "library/Library.h"
#include "library/Workers.h"
#include "serve/EntryBodies.h"
#include "serve/LibrarySite.h"
#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {

std::string Page(const std::string& lang, const std::string& title, const std::string& body);

// Written beside and renamed, as a deployment replaces a file.
void WriteDocument(const std::filesystem::path& path, const std::string& html,
                   std::string_view password = {}, std::string_view extra = {});

class LibraryTest : public ::testing::Test {
 protected:
  LibraryTest();

  void Serve(TLibraryRules rules = {}, std::shared_ptr<TEntryCache> entries = nullptr,
             std::size_t openLimit = library::kDefaultOpenDocuments);
  httplib::Result Get(const std::string& target, const httplib::Headers& headers = {}) const;
  // The library search once every document in it has been indexed.
  nlohmann::json Search(const std::string& query, const httplib::Headers& headers = {}) const;
  // A document's own search once its index is ready.
  nlohmann::json OwnSearch(const std::string& target, const httplib::Headers& headers = {}) const;
  static std::vector<std::string> Docs(const nlohmann::json& answer);

  TScratchFolder folder_;
  std::filesystem::path shelf_ = folder_.Path() / "shelf";
  std::shared_ptr<library::TWorkers> workers_ = std::make_shared<library::TWorkers>(2);
  std::unique_ptr<library::TLibrary> library_;
  std::unique_ptr<TLibrarySite> site_;
  std::unique_ptr<TDocumentServer> server_;
};

}  // namespace tomelet::serve::testing
