#include "tests/support/gui/EnginePump.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace tomelet::testing {
namespace {

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

void AwaitScript(const bool& done, GCancellable* cancellable, const std::string& script) {
  if (!PumpUntil([&] { return done; })) {
    ADD_FAILURE() << "script did not finish: " << script;
    g_cancellable_cancel(cancellable);
    if (!PumpUntil([&] { return done; }))
      std::abort();
  }
  g_object_unref(cancellable);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    if (!g_main_context_iteration(nullptr, FALSE))
      std::this_thread::sleep_for(2ms);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

::testing::AssertionResult AwaitLogEntry(const std::vector<std::string>& log,
                                         const std::string& entry,
                                         const std::function<void()>& start) {
  const auto before = std::ranges::count(log, entry);
  start();
  if (PumpUntil([&] { return std::ranges::count(log, entry) > before; }))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "never came: " << entry;
}

std::string EvaluateScript(WebKitWebView* view, const std::string& script) {
  TEvaluation evaluation{webkit_web_view_evaluate_javascript_finish, false, {}};
  GCancellable* cancellable = g_cancellable_new();
  webkit_web_view_evaluate_javascript(view, script.c_str(), -1, nullptr, nullptr, cancellable,
                                      EvaluationFinished, &evaluation);
  AwaitScript(evaluation.Done, cancellable, script);
  return evaluation.Value;
}

std::string CallAsyncScript(WebKitWebView* view, const std::string& body) {
  TEvaluation evaluation{webkit_web_view_call_async_javascript_function_finish, false, {}};
  GCancellable* cancellable = g_cancellable_new();
  webkit_web_view_call_async_javascript_function(view, body.c_str(), -1, nullptr, nullptr, nullptr,
                                                 cancellable, EvaluationFinished, &evaluation);
  AwaitScript(evaluation.Done, cancellable, body);
  return evaluation.Value;
}

}  // namespace tomelet::testing
