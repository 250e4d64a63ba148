// The host's history beyond one step: the pages Back and Forward lead to, and the engine's own
// record of them carried from one session to the next.
#include "WebHost/EngineView.h"
#include "WebHost/WebHost.h"

namespace tomelet {

std::vector<THistoryPage> TWebHost::HistoryPages(bool back) const {
  auto* list = webkit_web_view_get_back_forward_list(view_->View());
  std::vector<THistoryPage> pages;
  for (int step = 1;; ++step) {
    auto* item = webkit_back_forward_list_get_nth_item(list, back ? -step : step);
    if (!item)
      return pages;
    pages.push_back({EngineText(webkit_back_forward_list_item_get_title(item)),
                     EngineText(webkit_back_forward_list_item_get_uri(item))});
  }
}

void TWebHost::GoThroughHistory(int steps) noexcept {
  auto* list = webkit_web_view_get_back_forward_list(view_->View());
  if (auto* item = webkit_back_forward_list_get_nth_item(list, steps); item && steps != 0)
    view_->GoToHistoryItem(item);
}

std::string TWebHost::HistoryState() const {
  auto* list = webkit_web_view_get_back_forward_list(view_->View());
  if (webkit_back_forward_list_get_length(list) == 0)
    return {};
  auto* state = webkit_web_view_get_session_state(view_->View());
  GBytes* bytes = webkit_web_view_session_state_serialize(state);
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string text(data, size);
  g_bytes_unref(bytes);
  webkit_web_view_session_state_unref(state);
  return text;
}

bool TWebHost::ResumeHistory(const std::string& state, const std::string& address) {
  GBytes* bytes = g_bytes_new(state.data(), state.size());
  auto* session = webkit_web_view_session_state_new(bytes);
  g_bytes_unref(bytes);
  if (!session)
    return false;
  webkit_web_view_restore_session_state(view_->View(), session);
  webkit_web_view_session_state_unref(session);
  auto* list = webkit_web_view_get_back_forward_list(view_->View());
  auto* current = webkit_back_forward_list_get_current_item(list);
  if (!current || EngineText(webkit_back_forward_list_item_get_uri(current)) != address)
    return false;
  view_->GoToHistoryItem(current);
  return true;
}

}  // namespace tomelet
