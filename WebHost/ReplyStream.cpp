#include "WebHost/ReplyStream.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace tomelet {
namespace {

struct TReplyState {
  std::mutex Lock;  // a read on a worker thread against the end of the program
  std::unique_ptr<TStartedRequest> Request;
  TRequestBytes Head;
  std::size_t HeadRead = 0;
  std::string Url;

  std::size_t Read(std::span<std::byte> buffer, GError** error) {
    std::lock_guard hold(Lock);
    if (HeadRead < Head.size()) {
      const std::size_t count = std::min(buffer.size(), Head.size() - HeadRead);
      std::memcpy(buffer.data(), Head.data() + HeadRead, count);
      HeadRead += count;
      return count;
    }
    std::size_t got = 0;
    if (!Request || FAILED(Request->Read(buffer, got))) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_FAILED, "Failed to load %s", Url.c_str());
      return static_cast<std::size_t>(-1);
    }
    return got;
  }

  void End() {
    std::lock_guard hold(Lock);
    Request.reset();
  }
};

// Every reply the engine has not finished with, so that the program's end can let them go.
struct TOpenReplies {
  std::mutex Lock;
  std::set<TReplyState*> States;
};

TOpenReplies& OpenReplies() {
  static TOpenReplies replies;
  return replies;
}

TReplyState* NewState(std::unique_ptr<TStartedRequest> request, TRequestBytes head,
                      std::string url) {
  auto* state = new TReplyState;
  state->Request = std::move(request);
  state->Head = std::move(head);
  state->Url = std::move(url);
  std::lock_guard hold(OpenReplies().Lock);
  OpenReplies().States.insert(state);
  return state;
}

void DeleteState(TReplyState* state) {
  if (state == nullptr)
    return;
  {
    std::lock_guard hold(OpenReplies().Lock);
    OpenReplies().States.erase(state);
  }
  delete state;
}

}  // namespace
}  // namespace tomelet

extern "C" {

struct TomeletReplyStream {
  GInputStream parent;
  tomelet::TReplyState* state;
};

struct TomeletReplyStreamClass {
  GInputStreamClass parent_class;
};

G_DEFINE_TYPE(TomeletReplyStream, tomelet_reply_stream, G_TYPE_INPUT_STREAM)

static gssize tomelet_reply_stream_read(GInputStream* stream, void* buffer, gsize count,
                                        GCancellable*, GError** error) {
  auto* state = reinterpret_cast<TomeletReplyStream*>(stream)->state;
  if (state == nullptr)
    return 0;
  return static_cast<gssize>(state->Read(std::span(static_cast<std::byte*>(buffer), count), error));
}

// Closing ends the handler's request at once, even when the engine keeps the stream itself.
static gboolean tomelet_reply_stream_close(GInputStream* stream, GCancellable*, GError**) {
  auto* self = reinterpret_cast<TomeletReplyStream*>(stream);
  DeleteState(std::exchange(self->state, nullptr));
  return TRUE;
}

static void tomelet_reply_stream_finalize(GObject* object) {
  DeleteState(std::exchange(reinterpret_cast<TomeletReplyStream*>(object)->state, nullptr));
  G_OBJECT_CLASS(tomelet_reply_stream_parent_class)->finalize(object);
}

static void tomelet_reply_stream_class_init(TomeletReplyStreamClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = tomelet_reply_stream_finalize;
  G_INPUT_STREAM_CLASS(klass)->read_fn = tomelet_reply_stream_read;
  G_INPUT_STREAM_CLASS(klass)->close_fn = tomelet_reply_stream_close;
}

static void tomelet_reply_stream_init(TomeletReplyStream* self) {
  self->state = nullptr;
}

}  // extern "C"

namespace tomelet {

GInputStream* NewReplyStream(std::unique_ptr<TStartedRequest> request, TRequestBytes head,
                             std::string url) {
  auto* stream =
      static_cast<TomeletReplyStream*>(g_object_new(tomelet_reply_stream_get_type(), nullptr));
  stream->state = NewState(std::move(request), std::move(head), std::move(url));
  return G_INPUT_STREAM(stream);
}

void EndOpenReplies() {
  std::lock_guard hold(OpenReplies().Lock);
  for (TReplyState* state : OpenReplies().States)
    state->End();
}

}  // namespace tomelet
