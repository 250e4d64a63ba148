// A password document in a library: each of its addresses and its file behind the gate of a
// document served alone; never in the search across the library, nor more than its NAME in the
// catalogue, whatever the client sends; refused to everyone when the server was not given its
// password. And the caching headers of every kind of library answer.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "serve/HttpDate.h"
#include "serve/PasswordFileCheck.h"
#include "tests/serve/library_fixture.h"

namespace tomelet::serve::testing {
namespace {

using nlohmann::json;

const httplib::Headers kRight = {{"Authorization", "Basic cmVhZGVyOnB3"}};  // reader:pw
const httplib::Headers kWrong = {{"Authorization", "Basic cmVhZGVyOlBX"}};  // reader:PW

class LibraryGateTest : public LibraryTest {
 protected:
  LibraryGateTest() { Serve({.MaxAge = 120, .Passwords = {{"secret", "pw"}}}); }

  std::string FileBytes(const std::string& name) const {
    std::ifstream in(shelf_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string LastModified(const std::string& name) const {
    struct stat status {};
    ::stat((shelf_ / name).c_str(), &status);
    return FormatHttpDate(status.st_mtime);
  }
};

// Every kind of address a document has in a library, and its file.
const std::vector<std::string> kSecretAddresses = {
    "/secret/",
    "/secret/index.html",
    "/secret/big.txt",
    "/secret/gone.html",
    "/secret/favicon.ico",
    "/secret/-/search?q=secrets",
    "/secret/-/search.json?q=secrets",
    "/secret/-/suggest?q=Sec",
    "/secret/-/contents",
    "/secret/-/contents.json",
    "/secret/-/keywords.json?q=Secret",
    "/secret/-/outline.json?path=index.html",
    "/-/file/secret",
};

TEST_F(LibraryGateTest, EveryAddressOfAPasswordDocumentAsksForItsPassword) {
  const std::vector<httplib::Headers> attempts = {
      {},
      kWrong,
      {{"Authorization", "Bearer cHc="}},
      {{"Authorization", "Basic !!!"}},
      {{"If-Modified-Since", "Sun, 06 Nov 2061 08:49:37 GMT"}},
      {{"Range", "bytes=0-10"}},
  };
  std::string firstBody;
  for (const auto& target : kSecretAddresses) {
    for (const auto& headers : attempts) {
      const auto result = Get(target, headers);
      ASSERT_TRUE(result) << target;
      EXPECT_EQ(result->status, 401) << target;
      EXPECT_EQ(result->get_header_value("WWW-Authenticate"),
                "Basic realm=\"secret\", charset=\"UTF-8\"")
          << target;
      EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store") << target;
      for (const char* header : {"Location", "ETag", "Last-Modified", "Vary"}) {
        EXPECT_FALSE(result->has_header(header)) << target << " " << header;
      }
      firstBody = firstBody.empty() ? result->body : firstBody;
      EXPECT_EQ(result->body, firstBody) << target;
    }
  }
  EXPECT_EQ(firstBody.find("Secret"), std::string::npos);
  EXPECT_EQ(firstBody.find("index"), std::string::npos);

  // With the password, each is answered as the document alone answers it, never to a shared
  // cache (the map pages are kept by no cache at all).
  const json own = OwnSearch("/secret/-/search.json?q=secrets", kRight);
  ASSERT_EQ(own["results"].size(), 1u);
  EXPECT_EQ(own["results"][0]["path"], "index.html");
  for (const auto& target : kSecretAddresses) {
    const auto result = Get(target, kRight);
    ASSERT_TRUE(result) << target;
    EXPECT_NE(result->status, 401) << target;
    const std::string kept = result->get_header_value("Cache-Control");
    EXPECT_TRUE(kept.starts_with("private, ") || kept == "no-store") << target << " " << kept;
  }
  EXPECT_NE(Get("/secret/index.html", kRight)->body.find("Secret Title"), std::string::npos);
  const auto file = Get("/-/file/secret", kRight);
  EXPECT_EQ(file->status, 200);
  EXPECT_EQ(file->body, FileBytes("secret.tlt"));
  EXPECT_EQ(file->get_header_value("Content-Type"), "application/x-tomelet");
}

TEST_F(LibraryGateTest, LibraryAnswersShowThePasswordDocumentsNameAloneToEveryone) {
  std::map<std::string, std::string> bodies;
  for (const auto& headers : {httplib::Headers{}, kRight, kWrong}) {
    EXPECT_EQ(Search("q=secrets", headers)["results"].size(), 0u);
    EXPECT_EQ(Search("q=secrets&doc=secret", headers)["results"].size(), 0u);
    EXPECT_EQ(Search("q=secret%3A+secrets", headers)["results"].size(), 0u);
    const json both = Search("q=dictionary", headers);
    EXPECT_EQ(Docs(both).size(), 2u);
    EXPECT_EQ(both["total"], 2);
    EXPECT_TRUE(both["failed"].empty());
    for (const std::string target :
         {"/", "/-/catalog.json", "/-/catalog.atom", "/-/search?q=secrets",
          "/-/search.json?q=dictionary", "/-/suggest?q=Sec", "/-/suggest?q=dictionary"}) {
      const auto result = Get(target, headers);
      ASSERT_TRUE(result) << target;
      EXPECT_EQ(result->status, 200) << target;
      for (const char* leak : {"Secret Title", "/secret/index.html", "/secret/favicon.ico",
                               "/-/file/secret", "secrets<"}) {
        EXPECT_EQ(result->body.find(leak), std::string::npos) << target << " " << leak;
      }
      // The same answer whoever asks, so a shared cache may keep it.
      EXPECT_EQ(bodies.try_emplace(target, result->body).first->second, result->body) << target;
    }
  }
  EXPECT_NE(bodies["/"].find("/secret/"), std::string::npos);
  EXPECT_NE(bodies["/-/catalog.atom"].find("urn:tomelet:secret"), std::string::npos);
  const json listed = json::parse(bodies["/-/catalog.json"])["documents"];
  ASSERT_EQ(listed.size(), 3u);
  const json& secret = listed[2];
  EXPECT_EQ(secret["name"], "secret");
  EXPECT_EQ(secret["title"], "secret");  // the file's name, nothing read from inside
  EXPECT_EQ(secret["protected"], true);
  for (const char* hidden : {"language", "pages", "logo"}) {
    EXPECT_FALSE(secret.contains(hidden)) << hidden;
  }
  EXPECT_TRUE(listed[1].contains("logo"));
}

TEST_F(LibraryTest, APasswordDocumentTheServerWasNotGivenIsRefusedToEveryone) {
  for (const auto& passwords :
       {std::map<std::string, std::string>{},
        std::map<std::string, std::string>{{"secret", "PW"}, {"python-3", "pw"}}}) {
    Serve({.MaxAge = kDefaultMaxAge, .Passwords = passwords});
    for (const auto& target : kSecretAddresses) {
      for (const auto& headers : {httplib::Headers{}, kRight}) {
        const auto result = Get(target, headers);
        ASSERT_TRUE(result) << target;
        EXPECT_EQ(result->status, 403) << target;
        EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store") << target;
        EXPECT_FALSE(result->has_header("WWW-Authenticate")) << target;
        EXPECT_EQ(result->body.find("Secret"), std::string::npos) << target;
      }
    }
    // A password given for a document without one changes nothing.
    EXPECT_EQ(Get("/python-3/index.html")->status, 200);
    EXPECT_EQ(Search("q=dictionary")["results"].size(), 2u);
    server_->Stop();
    server_.reset();
  }
}

// Each line of the password file is checked against its document, and a mistake names its line;
// what an editor adds unseen (a byte order mark, spaces around the NAME or the password) is
// no mistake.
TEST_F(LibraryTest, EachPasswordLineIsCheckedAgainstItsDocumentAndAMistakeNamesItsLine) {
  Serve();
  const auto file = folder_.Path() / "passwords";
  std::ofstream(file) << "\xEF\xBB\xBF secret : pw \r\n"
                      << "python-3:nothing\n\n"
                      << "just a password\n"
                      << "secret:PW\n"
                      << "gone: pw\n";
  const auto lines = PasswordFileLines(file.string());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(NamedPasswords(lines), (std::map<std::string, std::string>{
                                       {"gone", "pw"}, {"python-3", "nothing"}, {"secret", "pw"}}));
  EXPECT_EQ(PasswordFromFile(file.string(), "secret"), "pw");

  std::vector<std::string> said;
  std::vector<bool> fatal;
  for (const auto& problem : CheckPasswordLines(lines, *library_, "pw.txt")) {
    said.push_back(problem.Message);
    fatal.push_back(problem.Fatal);
  }
  ASSERT_EQ(said.size(), 4u);
  EXPECT_EQ(said[0],
            "Line 2 of the password file pw.txt names \"python-3\", which has no password");
  EXPECT_EQ(said[1],
            "Line 4 of the password file pw.txt has no NAME: a library's password file has a line "
            "\"NAME:password\" per document");
  EXPECT_EQ(said[2], "Line 5 of the password file pw.txt names \"secret\" again; line 1 counts");
  EXPECT_EQ(said[3],
            "Line 6 of the password file pw.txt names \"gone\", which is no document of the "
            "library now; it counts once one comes");
  EXPECT_EQ(fatal, (std::vector<bool>{false, true, false, false}));

  std::ofstream(file) << "secret:PW\n";
  const auto wrong = CheckPasswordLines(PasswordFileLines(file.string()), *library_, "pw.txt");
  ASSERT_EQ(wrong.size(), 1u);
  EXPECT_TRUE(wrong[0].Fatal);
  EXPECT_EQ(wrong[0].Message,
            "Line 1 of the password file pw.txt: the password given for \"secret\" is not the "
            "document's, which is then refused to everyone");
}

TEST_F(LibraryGateTest, EveryLibraryAnswerIsDatedAndKeptAccordingToWhatItIs) {
  Search("q=dictionary");
  struct Case {
    std::string target;
    httplib::Headers headers;
    int status;
    std::string cacheControl;
    std::string vary;
  };
  const std::string fresh = "public, max-age=10";
  for (const Case& c : {
           Case{"/", {}, 200, fresh, ""},
           Case{"/-/catalog.json", {}, 200, fresh, ""},
           Case{"/-/catalog.atom", {}, 200, fresh, ""},
           Case{"/-/search?q=dictionary", {}, 200, fresh, ""},
           Case{"/-/search.json?q=dictionary", {}, 200, fresh, ""},
           Case{"/-/suggest?q=post", {}, 200, fresh, ""},
           Case{"/-/nothing", {}, 404, fresh, ""},
           Case{"/nobody/", {}, 404, fresh, ""},
           Case{"/python-3", {}, 301, fresh, ""},
           Case{"/python-3/", {}, 302, fresh, ""},
           Case{"/python-3/big.txt", {}, 200, "public, max-age=120", "Accept-Encoding"},
           Case{"/-/file/python-3", {}, 200, "public, max-age=120", ""},
           Case{"/secret/", kRight, 302, "private, max-age=10", ""},
           Case{"/secret/big.txt", kRight, 200, "private, max-age=120", "Accept-Encoding"},
           Case{"/-/file/secret", kRight, 200, "private, max-age=120", ""},
       }) {
    const auto result = Get(c.target, c.headers);
    ASSERT_TRUE(result) << c.target;
    EXPECT_EQ(result->status, c.status) << c.target;
    EXPECT_EQ(result->get_header_value("Cache-Control"), c.cacheControl) << c.target;
    EXPECT_EQ(result->get_header_value("Vary"), c.vary) << c.target;
    const auto date = ParseHttpDate(result->get_header_value("Date"));
    ASSERT_TRUE(date) << c.target;
    EXPECT_LE(std::abs(*date - std::time(nullptr)), 5) << c.target;
  }
  httplib::Client client("127.0.0.1", server_->Port());
  const auto refused = client.Post("/", "", "text/plain");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 405);
  EXPECT_EQ(refused->get_header_value("Cache-Control"), "no-store");
  EXPECT_TRUE(ParseHttpDate(refused->get_header_value("Date")));
}

TEST_F(LibraryGateTest, DocumentEntriesAndFilesAnswerIfModifiedSince) {
  for (const auto& [target, file, headers] :
       {std::tuple{"/python-3/big.txt", "Python 3.tlt", httplib::Headers{}},
        std::tuple{"/-/file/python-3", "Python 3.tlt", httplib::Headers{}},
        std::tuple{"/-/file/secret", "secret.tlt", kRight}}) {
    const std::string modified = LastModified(file);
    const auto full = Get(target, headers);
    ASSERT_TRUE(full) << target;
    EXPECT_EQ(full->get_header_value("Last-Modified"), modified) << target;
    auto asking = headers;
    asking.emplace("If-Modified-Since", modified);
    const auto same = Get(target, asking);
    ASSERT_TRUE(same) << target;
    EXPECT_EQ(same->status, 304) << target;
    EXPECT_EQ(same->get_header_value("Last-Modified"), modified) << target;
    EXPECT_EQ(same->get_header_value("Cache-Control"), full->get_header_value("Cache-Control"))
        << target;
    auto older = headers;
    older.emplace("If-Modified-Since", FormatHttpDate(*ParseHttpDate(modified) - 1));
    EXPECT_EQ(Get(target, older)->status, 200) << target;
  }
}

}  // namespace
}  // namespace tomelet::serve::testing
