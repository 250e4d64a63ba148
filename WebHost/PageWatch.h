// Keeps a page stuck in a script (an endless loop) from holding the viewer: the engine cannot
// leave a page whose web process never answers, so after each navigation the viewer starts the
// page is asked for a sign of life, and one that gives none in time has its web process ended
// and the navigation started again in a fresh one.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>

namespace tomelet {

// Long enough for a healthy page that is busy laying out a large document, short enough that
// Exit still ends the program within a second.
inline constexpr std::chrono::milliseconds kPageAnswerLimit{400};

class TPageWatch {
 public:
  explicit TPageWatch(WebKitWebView* view);
  ~TPageWatch();
  TPageWatch(const TPageWatch&) = delete;
  TPageWatch& operator=(const TPageWatch&) = delete;

  // After a navigation the viewer started: when the page shown does not answer within the limit
  // and no page committed meanwhile, its web process is ended and again starts the navigation
  // anew. A later navigation replaces the watch of an earlier one. Without a page shown (before
  // the first, or while a new web process starts) nothing is watched: the time a process takes
  // to start is no sign of a stuck page.
  void Navigated(std::function<void()> again);
  // A page committed: the engine is moving, so the page it left was not stuck.
  void PageCommitted();

 private:
  void Stop();
  void EndStuckPage();
  static void OnAnswer(GObject* view, GAsyncResult* result, gpointer self);
  static gboolean OnTimeUp(gpointer self);
  static void OnProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);

  WebKitWebView* view_;
  bool pageShown_ = false;
  GCancellable* ping_ = nullptr;
  guint timer_ = 0;
  std::function<void()> again_;
};

}  // namespace tomelet
