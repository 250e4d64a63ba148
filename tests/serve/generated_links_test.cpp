// Every link the server writes into a page of its own (catalogue, feeds, search results,
// suggestions, contents, keywords, the way back from a missing page) leads to an address that
// answers, for a document served alone and for each document of a library under its NAME.
#include <deque>
#include <regex>
#include <set>

#include "tests/serve/library_fixture.h"

namespace tomelet::serve::testing {
namespace {

using nlohmann::json;

const httplib::Headers kPassword = {{"Authorization", "Basic cmVhZGVyOnB3"}};  // reader:pw

std::string WithoutEntities(std::string text) {
  for (std::size_t at = text.find("&amp;"); at != std::string::npos; at = text.find("&amp;", at)) {
    text.replace(at, 5, "&");
    ++at;
  }
  return text;
}

void CollectJsonLinks(const json& value, std::vector<std::string>& links) {
  if (value.is_object()) {
    for (const auto& [key, item] : value.items()) {
      if ((key == "url" || key == "logo") && item.is_string()) {
        links.push_back(item);
      } else {
        CollectJsonLinks(item, links);
      }
    }
  } else if (value.is_array()) {
    for (const auto& item : value) {
      CollectJsonLinks(item, links);
    }
  }
}

// The addresses a page of the server's own links to, without their fragments.
std::vector<std::string> LinksOf(const httplib::Response& page) {
  std::vector<std::string> links;
  if (page.get_header_value("Content-Type").starts_with("application/json")) {
    CollectJsonLinks(json::parse(page.body), links);
  } else {
    static const std::regex kLink(R"re((?:href|src|action)="([^"]*)")re");
    for (std::sregex_iterator it(page.body.begin(), page.body.end(), kLink), end; it != end; ++it) {
      links.push_back(WithoutEntities((*it)[1]));
    }
  }
  for (auto& link : links) {
    link = link.substr(0, link.find('#'));
  }
  return links;
}

// Follows redirects, as a browser does; the status at the end.
int StatusAfterRedirects(const std::function<httplib::Result(const std::string&)>& get,
                         std::string target) {
  for (int hops = 0; hops < 5; ++hops) {
    const auto result = get(target);
    if (!result) {
      return 0;
    }
    if (result->status != 301 && result->status != 302) {
      return result->status;
    }
    target = result->get_header_value("Location");
  }
  return 0;
}

// Crawls the pages of the server's own from the seeds: each link must answer 200, and the links
// of those that are pages of the server's own (below "/-/", or the library's catalogue) are
// followed in turn. Documents' own pages are only asked for, never crawled. The links checked.
std::set<std::string> ExpectEveryLinkAnswers(
    const std::function<httplib::Result(const std::string&)>& get,
    const std::vector<std::string>& seeds, bool catalogueAtRoot) {
  std::set<std::string> asked(seeds.begin(), seeds.end());
  std::deque<std::string> pages(seeds.begin(), seeds.end());
  std::set<std::string> checked;
  while (!pages.empty()) {
    const std::string page = pages.front();
    pages.pop_front();
    const auto reply = get(page);
    if (!reply) {
      ADD_FAILURE() << page;
      continue;
    }
    for (const std::string& link : LinksOf(*reply)) {
      if (link.empty() || !link.starts_with('/') || !asked.insert(link).second) {
        continue;
      }
      checked.insert(link);
      EXPECT_EQ(StatusAfterRedirects(get, link), 200) << link << " on " << page;
      const std::string path = link.substr(0, link.find('?'));
      if (path.find("/-/") != std::string::npos || (catalogueAtRoot && path == "/")) {
        pages.push_back(link);
      }
    }
  }
  return checked;
}

// The pages of one document's own, below its mount, once its search index is ready.
std::vector<std::string> DocumentSeeds(const std::string& mount, const std::string& word) {
  return {mount + "/-/contents",         mount + "/-/keywords.json?q=" + word,
          mount + "/-/search?q=" + word, mount + "/-/suggest?q=" + word,
          mount + "/-/missing",          mount + "/gone.html"};
}

using GeneratedLinksInALibrary = LibraryTest;

TEST_F(GeneratedLinksInALibrary, LeadToTheDocumentTheyBelongTo) {
  Serve({.MaxAge = 60, .Passwords = {{"secret", "pw"}}});
  Search("q=dictionary");
  for (const std::string name : {"python-3", "de-handbuch", "secret"}) {
    OwnSearch("/" + name + "/-/search.json?q=dictionary", kPassword);
  }
  std::vector<std::string> seeds = {"/",
                                    "/-/catalog.json",
                                    "/-/catalog.atom",
                                    "/-/search?q=dictionary",
                                    "/-/suggest?q=P",
                                    "/-/nothing",
                                    "/nobody/page.html"};
  for (const std::string name : {"python-3", "de-handbuch", "secret"}) {
    const auto own = DocumentSeeds("/" + name, "dictionary");
    seeds.insert(seeds.end(), own.begin(), own.end());
  }
  const auto checked = ExpectEveryLinkAnswers(
      [&](const std::string& target) { return Get(target, kPassword); }, seeds, true);
  // The contents, keywords and hits of each document, and each one's way back.
  for (const std::string link : {"/python-3/index.html", "/de-handbuch/index.html",
                                 "/secret/index.html", "/secret/-/search", "/-/file/python-3"}) {
    EXPECT_TRUE(checked.contains(link)) << link;
  }
}

class GeneratedLinksAlone : public ServeTest {};

TEST_F(GeneratedLinksAlone, LeadToTheDocumentsPages) {
  ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
  testDocument_.Entry("guide\\a b.htm",
                      "<html><head><title>Files</title></head><body><h1 id='top'>Reading "
                      "files</h1><h2 id='open'>Opening</h2><p>open a file</p></body></html>");
  Serve();
  for (int tries = 0; tries < 300 && Get("/-/search.json?q=file")->status == 503; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto checked = ExpectEveryLinkAnswers(
      [&](const std::string& target) { return Get(target); }, DocumentSeeds("", "open"), false);
  EXPECT_TRUE(checked.contains("/guide/a%20b.htm")) << "the contents' and keywords' page";
  EXPECT_TRUE(checked.contains("/-/search"));
}

}  // namespace
}  // namespace tomelet::serve::testing
