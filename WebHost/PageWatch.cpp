#include "WebHost/PageWatch.h"

#include <utility>

namespace tomelet {

TPageWatch::TPageWatch(WebKitWebView* view) : view_(view) {
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnProcessEnded), this);
}

TPageWatch::~TPageWatch() {
  g_signal_handlers_disconnect_by_data(view_, this);
  Stop();
}

void TPageWatch::Navigated(std::function<void()> again) {
  Stop();
  if (!pageShown_)
    return;
  again_ = std::move(again);
  ping_ = g_cancellable_new();
  // Any answer will do, an error included: only a web process that never gets to it is stuck.
  webkit_web_view_evaluate_javascript(view_, "0", -1, nullptr, nullptr, ping_, OnAnswer, this);
  timer_ = g_timeout_add(static_cast<guint>(kPageAnswerLimit.count()), OnTimeUp, this);
}

void TPageWatch::PageCommitted() {
  Stop();
  pageShown_ = true;
}

void TPageWatch::Stop() {
  if (timer_)
    g_source_remove(std::exchange(timer_, 0));
  if (ping_) {
    g_cancellable_cancel(ping_);
    g_object_unref(std::exchange(ping_, nullptr));
  }
  again_ = nullptr;
}

// A cancelled ping answers after its watch may be gone, so it touches nothing then.
void TPageWatch::OnAnswer(GObject* view, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  if (JSCValue* value =
          webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error))
    g_object_unref(value);
  const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  g_clear_error(&error);
  if (!cancelled)
    static_cast<TPageWatch*>(self)->Stop();
}

gboolean TPageWatch::OnTimeUp(gpointer self) {
  auto& watch = *static_cast<TPageWatch*>(self);
  watch.timer_ = 0;
  watch.EndStuckPage();
  return G_SOURCE_REMOVE;
}

// The engine starts a fresh web process for the next navigation once the stuck one is gone.
void TPageWatch::EndStuckPage() {
  auto again = std::exchange(again_, nullptr);
  Stop();
  webkit_web_view_terminate_web_process(view_);
  if (again)
    again();
}

// Ended by the watch or by a crash, the process took its page along.
void TPageWatch::OnProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
  auto& watch = *static_cast<TPageWatch*>(self);
  watch.Stop();
  watch.pageShown_ = false;
}

}  // namespace tomelet
