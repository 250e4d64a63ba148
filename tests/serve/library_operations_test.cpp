// A library as an operator runs it, in the real program: files removed, replaced and renamed
// under a running server, its reload, its messages about the files it is given.
#include <chrono>
#include <thread>

#include "tests/serve/library_fixture.h"
#include "tests/serve/serve_process.h"

namespace tomelet::serve::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class LibraryOperationsTest : public LibraryTest {
 protected:
  std::unique_ptr<ServeProcess> StartServe(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {shelf_.string(), "--recursive", "--port", "0"});
    auto serve = std::make_unique<ServeProcess>(options);
    port_ = PortOf(serve->FirstLine());
    EXPECT_NE(port_, 0) << serve->Errors();
    return serve;
  }
  httplib::Result At(const std::string& target) const {
    httplib::Client client("127.0.0.1", port_);
    return client.Get(target);
  }
  // Waits until the target answers with the status, a few seconds at most.
  bool Answers(const std::string& target, int status) const {
    for (int tries = 0; tries < 250; ++tries) {
      const auto result = At(target);
      if (result && result->status == status) {
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  std::uint16_t port_ = 0;
};

TEST_F(LibraryOperationsTest, ARemovedDocumentIsClosedSoItsSpaceComesBack) {
  auto serve = StartServe();
  for (const std::string name : {"python-3", "de-handbuch"}) {
    ASSERT_EQ(At("/" + name + "/index.html")->status, 200);
    ASSERT_EQ(At("/" + name + "/-/contents")->status, 200);
  }
  fs::remove(shelf_ / "Python 3.tlt");
  fs::remove(shelf_ / "de" / "handbuch.tlt");
  ASSERT_TRUE(Answers("/python-3/", 404));
  ASSERT_TRUE(Answers("/de-handbuch/", 404));
  EXPECT_EQ(serve->DeletedFilesHeld(), 0);
}

}  // namespace
}  // namespace tomelet::serve::testing
