#include "WebHost/MimeTypes.h"

#include <gio/gio.h>

#include <memory>

#include "platform/mime/MimeTable.h"

namespace tomelet {
namespace {

constexpr std::string_view kUnknownType = "application/octet-stream";

struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

// The file name of an address (its last path segment) when it has an extension. Names without one
// ("readme", "LICENSE") would match the desktop's patterns for plain text, so for them only the
// bytes speak.
std::string NamedExtension(std::string_view nameOrUrl) {
  const auto path = nameOrUrl.substr(0, nameOrUrl.find_first_of("?#"));
  const auto name = path.substr(path.find_last_of("/\\") + 1);
  return name.find('.') == std::string_view::npos ? std::string() : std::string(name);
}

// The desktop's guesser weighs the name's patterns together with the bytes.
std::string Guess(std::string_view nameOrUrl, std::span<const std::byte> content) {
  // The guesser calls nothing a page when it has no bytes, and an empty page is the likely intent.
  if (content.empty())
    return "text/html";
  gboolean uncertain = FALSE;
  const std::string name = NamedExtension(nameOrUrl);
  const GCharPtr contentType(g_content_type_guess(name.empty() ? nullptr : name.c_str(),
                                                  reinterpret_cast<const guchar*>(content.data()),
                                                  content.size(), &uncertain));
  if (!contentType)
    return std::string(kUnknownType);
  const GCharPtr mimeType(g_content_type_get_mime_type(contentType.get()));
  if (!mimeType || *mimeType == '\0')
    return std::string(kUnknownType);
  return mimeType.get();
}

}  // namespace

std::optional<std::string_view> MimeTypeForName(std::string_view nameOrUrl) {
  return MimeTypeForFileName(nameOrUrl.substr(0, nameOrUrl.find_first_of("?#")));
}

std::string MimeTypeFor(std::string_view nameOrUrl, std::span<const std::byte> content) {
  if (const auto byName = MimeTypeForName(nameOrUrl))
    return std::string(*byName);
  return Guess(nameOrUrl, content);
}

}  // namespace tomelet
