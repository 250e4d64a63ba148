#include "tests/serve/library_fixture.h"

#include <algorithm>
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

const std::string kPythonPage =
    Page("en", "Python Things", "A dictionary maps keys. Running runners run.");

void WriteDocument(const fs::path& path, const std::string& html, std::string_view password,
                   std::string_view extra) {
  const auto written = TTestDocument()
                           .Entry("index.html", html)
                           .Entry("big.txt", PageText(extra.empty() ? "big" : extra, 20000))
                           .StartPageOption("index.html")
                           .Password(password)
                           .Logo(kLogo)
                           .WriteTo(path.string() + ".part");
  fs::rename(written, path);
}

TRequestLoad::TRequestLoad(std::uint16_t port, std::string target, std::vector<std::string> bodies,
                           int clients)
    : target_(std::move(target)), bodies_(std::move(bodies)), seen_(bodies_.size()) {
  for (int i = 0; i < clients; ++i) {
    clients_.emplace_back([this, port] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      while (!stopping_) {
        const auto result = client.Get(target_);
        const auto body =
            result ? std::find(bodies_.begin(), bodies_.end(), result->body) : bodies_.end();
        if (!result || result->status != 200) {
          ++failed_;
        } else if (body == bodies_.end()) {
          ++wrong_;
        } else {
          seen_[static_cast<std::size_t>(body - bodies_.begin())] = true;
        }
        ++answered_;
      }
    });
  }
}

TRequestLoad::~TRequestLoad() {
  Stop();
}

int TRequestLoad::Stop() {
  stopping_ = true;
  for (auto& client : clients_) {
    if (client.joinable()) {
      client.join();
    }
  }
  return failed_;
}

bool TRequestLoad::Saw(const std::string& body) const {
  const auto which =
      static_cast<std::size_t>(std::find(bodies_.begin(), bodies_.end(), body) - bodies_.begin());
  for (int tries = 0; tries < 300 && which < seen_.size(); ++tries) {
    if (seen_[which]) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

LibraryTest::LibraryTest() {
  ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
  fs::create_directories(shelf_ / "de");
  WriteDocument(shelf_ / "Python 3.tlt", kPythonPage);
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
