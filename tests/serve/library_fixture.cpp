#include "tests/serve/library_fixture.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace tomelet::serve::testing {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Page(const std::string& lang, const std::string& title, const std::string& body) {
  return "<html lang=\"" + lang + "\"><head><title>" + title + "</title></head><body><h1>" + title +
         "</h1><p>" + body + "</p></body></html>";
}

void WriteDocument(const fs::path& path, const std::string& html, std::string_view password,
                   std::string_view extra) {
  const auto written = TTestDocument()
                           .Entry("index.html", html)
                           .Entry("big.txt", PageText(extra.empty() ? "big" : extra, 20000))
                           .StartPage("index.html")
                           .Password(password)
                           .Logo(kLogo)
                           .WriteTo(path.string() + ".part");
  fs::rename(written, path);
}

LibraryTest::LibraryTest() {
  ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
  fs::create_directories(shelf_ / "de");
  WriteDocument(shelf_ / "Python 3.tlt",
                Page("en", "Python Things", "A dictionary maps keys. Running runners run."));
  WriteDocument(shelf_ / "de" / "handbuch.tlt",
                Page("de", "Postgres Handbuch", "Die Häuser und ein dictionary."));
  WriteDocument(shelf_ / "secret.tlt", Page("en", "Secret Title", "dictionary secrets"), "pw");
}

void LibraryTest::Serve(TLibraryRules rules, std::shared_ptr<TEntryCache> entries,
                        std::size_t openLimit) {
  library_ = std::make_unique<library::TLibrary>(
      std::vector<fs::path>{shelf_},
      library::TLibraryOptions{.Recursive = true, .OpenLimit = openLimit, .Workers = workers_});
  library_->Watch();
  site_ = std::make_unique<TLibrarySite>(*library_, std::move(rules), std::move(entries));
  server_ = std::make_unique<TDocumentServer>(*site_, TServerSettings{});
  server_->Start();
}

httplib::Result LibraryTest::Get(const std::string& target, const httplib::Headers& headers) const {
  httplib::Client client("127.0.0.1", server_->Port());
  client.set_url_encode(false);
  return client.Get(target, headers);
}

json LibraryTest::Search(const std::string& query, const httplib::Headers& headers) const {
  for (int tries = 0; tries < 300; ++tries) {
    const auto result = Get("/-/search.json?" + query, headers);
    const json answer = json::parse(result->body);
    if (answer["indexing"].empty()) {
      return answer;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ADD_FAILURE() << "still indexing";
  return {};
}

json LibraryTest::OwnSearch(const std::string& target, const httplib::Headers& headers) const {
  for (int tries = 0; tries < 300; ++tries) {
    const auto result = Get(target, headers);
    if (result->status != 503) {
      return json::parse(result->body);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ADD_FAILURE() << "still indexing";
  return {};
}

std::vector<std::string> LibraryTest::Docs(const json& answer) {
  std::vector<std::string> docs;
  for (const auto& hit : answer["results"]) {
    docs.push_back(hit["doc"]);
  }
  return docs;
}

}  // namespace tomelet::serve::testing
