#include "tests/WebHost/HostFixture.h"

#include <algorithm>

namespace tomelet::testing {
namespace {

std::string LongPage() {
  std::string page = "<html><head><title>Long page</title></head><body>";
  for (int i = 0; i < 150; ++i)
    page += "<p>Paragraph " + std::to_string(i) + " of a page that needs several sheets.</p>";
  return page + "</body></html>";
}

// Three marks on a paragraph that is light in either style, two on one that is dark in either,
// then words in the page's own colours, which turn dark in dark style.
constexpr const char* kMarksPage =
    "<html><head><title>Marks</title><style>"
    "body{margin:0;background:#fff;color:#000;font:32px/48px sans-serif}"
    "p{margin:0;padding:0 8px}"
    ".light{background:#fff;color:#000}.dark{background:#121212;color:#eee}"
    "@media (prefers-color-scheme: dark){body{background:#181818;color:#ddd}}"
    "</style></head><body>"
    "<p class=light><span id=l1>needle</span> <span id=l2>needle</span> <span id=l3>needle</span>"
    "</p><p class=dark><span id=d1>needle</span> <span id=d2>needle</span></p>"
    "<p><span id=w1>dict</span> <span id=w2>dictionary</span> <span id=w3>Dict</span>.</p>"
    "</body></html>";

TTestDocument Pages() {
  TTestDocument pages;
  pages
      .Entry("index.htm",
             "<html><head><title>Start page</title></head><body>"
             "<p><span id=\"t\">Hello tomelet readers</span></p><a id=\"next\" "
             "href=\"second.htm\">Second</a>"
             "<a id=\"blank\" href=\"second.htm\" target=\"_blank\">New window</a>"
             "<img src=\"missing.png\"></body></html>")
      .Entry("second.htm", "<html><head><title>Second page</title></head><body>Two</body></html>")
      .Entry("long.htm", LongPage())
      .Entry("marks.htm", kMarksPage)
      .Entry("mail.htm", "<script>location.href = 'mailto:reader@example.org'</script>")
      .Entry("readme",
             "<!DOCTYPE html><html><head><title>Read me</title></head><body>x</body></html>")
      .Entry("files\\setup.zip", std::string("PK\x03\x04\x14\x00\x00\x00\x08\x00zipped", 16));
  return pages;
}

}  // namespace

void HostFixture::SetUp() {
  gchar* made = g_dir_make_tmp("webhost-test-XXXXXX", nullptr);
  ASSERT_NE(made, nullptr);
  folder_ = made;
  g_free(made);
  printFolder_ = folder_ / "print";
  std::filesystem::create_directory(printFolder_);
  document_ = std::make_unique<TServedDocument>(Pages(), folder_);
  window_ = std::make_unique<Gtk::Window>();
  window_->set_default_size(800, 600);
  host_ = std::make_unique<TWebHost>();
  host_->SetTemporaryFolder(printFolder_);
  host_->OpenWithDefaultProgram = [this](const std::string& file) { opened_.emplace_back(file); };
  window_->add(host_->Widget());
  window_->show_all();
  auto& events = host_->Events;
  events.OnBeforeNavigate2 = [this](std::string& url, TNavigationCause, bool&) {
    events_.push_back("before " + url);
  };
  events.OnDocumentComplete = [this](const std::string& url) {
    events_.push_back("complete " + url);
  };
  events.OnNavigateError = [this](const std::string& url, int status, bool&) {
    events_.push_back("error " + url + " " + std::to_string(status));
  };
  events.OnTitleChange = [this](const std::string& text) { events_.push_back("title " + text); };
  events.OnCommandStateChange = [this](int command, bool enable) {
    commandStates_.emplace_back(command, enable);
  };
  events.OnWindowClosing = [this](bool, bool&) { events_.push_back("closing"); };
}

void HostFixture::TearDown() {
  host_.reset();
  window_.reset();
  document_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

WebKitWebView* HostFixture::View() const {
  return WEBKIT_WEB_VIEW(host_->Page().gobj());
}

::testing::AssertionResult HostFixture::NavigateAndWait(const std::string& url) {
  return AwaitLogEntry(events_, "complete " + url, [&] { host_->Navigate(url); });
}

std::string HostFixture::Evaluate(const std::string& script) {
  return EvaluateScript(View(), script);
}

std::string HostFixture::CallAsync(const std::string& body) {
  return CallAsyncScript(View(), body);
}

bool HostFixture::HasEvent(const std::string& event) const {
  return std::ranges::find(events_, event) != events_.end();
}

std::size_t HostFixture::IndexOf(const std::string& event) const {
  return static_cast<std::size_t>(std::ranges::find(events_, event) - events_.begin());
}

std::optional<bool> HostFixture::LastCommandState(int command) const {
  for (auto it = commandStates_.rbegin(); it != commandStates_.rend(); ++it) {
    if (it->first == command)
      return it->second;
  }
  return std::nullopt;
}

}  // namespace tomelet::testing
