// A library of three documents served on a free loopback port: an English one, a German one in
// a subfolder, and one with a password ("secret", password "pw").
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "library/Library.h"
#include "library/Workers.h"
#include "serve/EntryBodies.h"
#include "serve/LibrarySite.h"
#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {

std::string Page(const std::string& lang, const std::string& title, const std::string& body);
// The start page of "Python 3.tlt", served as /python-3/index.html.
extern const std::string kPythonPage;

// Written beside and renamed, as a deployment replaces a file.
void WriteDocument(const std::filesystem::path& path, const std::string& html,
                   std::string_view password = {}, std::string_view extra = {});

// Clients asking for one address over and over, on keep-alive connections, until stopped; each
// answer must be 200 with one of the bodies expected.
class TRequestLoad {
 public:
  TRequestLoad(std::uint16_t port, std::string target, std::vector<std::string> bodies,
               int clients = 4);
  ~TRequestLoad();
  // Stops the clients; the answers that were not 200.
  int Stop();
  // The answers with 200 and a body that was none of those expected: mixed or torn documents.
  int Wrong() const { return wrong_; }
  int Answered() const { return answered_; }
  // Waits until the body has been answered, a few seconds at most.
  bool Saw(const std::string& body) const;

 private:
  std::string target_;
  std::vector<std::string> bodies_;
  std::atomic<bool> stopping_ = false;
  std::atomic<int> answered_ = 0;
  std::atomic<int> failed_ = 0;
  std::atomic<int> wrong_ = 0;
  std::vector<std::atomic<bool>> seen_;
  std::vector<std::thread> clients_;
};

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
