#include "WebHost/PageResources.h"

#include <mutex>
#include <stdexcept>

extern "C" {
#include "page_resources.h"
}

namespace tomelet {
namespace {

constexpr std::string_view kPrefix = "/org/tomelet/viewer/page/";

}  // namespace

std::string PageResource(std::string_view name) {
  static std::once_flag registered;
  std::call_once(registered, [] { tomelet_page_register_resource(); });
  const std::string path = std::string(kPrefix) + std::string(name);
  GError* error = nullptr;
  GBytes* bytes = g_resource_lookup_data(tomelet_page_get_resource(), path.c_str(),
                                         G_RESOURCE_LOOKUP_FLAGS_NONE, &error);
  if (!bytes) {
    const std::string reason = error->message;
    g_error_free(error);
    throw std::logic_error("The page resource " + path + " is missing: " + reason);
  }
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string text(data, size);
  g_bytes_unref(bytes);
  return text;
}

}  // namespace tomelet
