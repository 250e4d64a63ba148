#include "HostFixture.h"

#include <algorithm>
#include <thread>

namespace tomelet::testing {
namespace {

std::string LongPage() {
  std::string page = "<html><head><title>Long page</title></head><body>";
  for (int i = 0; i < 150; ++i)
    page += "<p>Paragraph " + std::to_string(i) + " of a page that needs several sheets.</p>";
  return page + "</body></html>";
}

std::map<std::string, std::string> Pages() {
  return {
      {"index.htm",
       "<html><head><title>Start page</title></head><body>"
       "<p><span id=\"t\">Hello tomelet readers</span></p><a id=\"next\" "
       "href=\"second.htm\">Second</a>"
       "<a id=\"blank\" href=\"second.htm\" target=\"_blank\">New window</a>"
       "<img src=\"missing.png\"></body></html>"},
      {"second.htm", "<html><head><title>Second page</title></head><body>Two</body></html>"},
      {"long.htm", LongPage()},
      {"readme", "<!DOCTYPE html><html><head><title>Read me</title></head><body>x</body></html>"},
      {"files\\setup.zip", std::string("PK\x03\x04\x14\x00\x00\x00\x08\x00zipped", 16)},
  };
}

using TScriptFinish = JSCValue* (*)(WebKitWebView*, GAsyncResult*, GError**);

struct TEvaluation {
  TScriptFinish Finish;
  bool Done = false;
  std::string Value;
};

void EvaluationFinished(GObject* view, GAsyncResult* result, gpointer data) {
  auto& evaluation = *static_cast<TEvaluation*>(data);
  GError* error = nullptr;
  JSCValue* value = evaluation.Finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (value) {
    gchar* text = jsc_value_to_string(value);
    evaluation.Value = text ? text : "";
    g_free(text);
    g_object_unref(value);
  } else {
    evaluation.Value = std::string("error: ") + error->message;
    g_error_free(error);
  }
  evaluation.Done = true;
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
  host_->SetShellOpener(std::make_unique<RecordingShellOpener>(opened_));
  window_->add(host_->Widget());
  window_->show_all();
  auto& events = host_->Events;
  events.OnBeforeNavigate2 = [this](std::string& url, bool&) {
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

bool HostFixture::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    if (!g_main_context_iteration(nullptr, FALSE))
      std::this_thread::sleep_for(2ms);
  }
  return true;
}

void HostFixture::PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

::testing::AssertionResult HostFixture::NavigateAndWait(const std::string& url) {
  const std::string complete = "complete " + url;
  const auto before = std::ranges::count(events_, complete);
  host_->Navigate(url);
  if (PumpUntil([&] { return std::ranges::count(events_, complete) > before; }))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no document complete for " << url;
}

std::string HostFixture::Evaluate(const std::string& script) {
  TEvaluation evaluation{webkit_web_view_evaluate_javascript_finish, false, {}};
  GCancellable* cancellable = g_cancellable_new();
  webkit_web_view_evaluate_javascript(View(), script.c_str(), -1, nullptr, nullptr, cancellable,
                                      EvaluationFinished, &evaluation);
  AwaitScript(evaluation.Done, cancellable, script);
  return evaluation.Value;
}

std::string HostFixture::CallAsync(const std::string& body) {
  TEvaluation evaluation{webkit_web_view_call_async_javascript_function_finish, false, {}};
  GCancellable* cancellable = g_cancellable_new();
  webkit_web_view_call_async_javascript_function(View(), body.c_str(), -1, nullptr, nullptr,
                                                 nullptr, cancellable, EvaluationFinished,
                                                 &evaluation);
  AwaitScript(evaluation.Done, cancellable, body);
  return evaluation.Value;
}

void HostFixture::AwaitScript(const bool& done, GCancellable* cancellable,
                              const std::string& script) {
  if (!PumpUntil([&] { return done; })) {
    ADD_FAILURE() << "script did not finish: " << script;
    g_cancellable_cancel(cancellable);
    if (!PumpUntil([&] { return done; }))
      std::abort();
  }
  g_object_unref(cancellable);
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
