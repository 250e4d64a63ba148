// Four header lines, then zlib-compressed lines "name domain:role priority uri display name",
// where a "$" ending the uri stands for the name and a display name "-" for the name too.
#include "import/SphinxInventory.h"

#include <zlib.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace tomelet::importer {
namespace {

constexpr std::size_t kLargestInventory = std::size_t{256} << 20;

std::string Inflated(std::string_view packed) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK)
    throw std::runtime_error("objects.inv cannot be inflated");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  std::string text;
  char block[1 << 16];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(block);
    stream.avail_out = sizeof block;
    status = inflate(&stream, Z_NO_FLUSH);
    text.append(block, sizeof block - stream.avail_out);
    if (text.size() > kLargestInventory)
      status = Z_MEM_ERROR;
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END)
    throw std::runtime_error("objects.inv is damaged: it does not inflate");
  return text;
}

bool IsPriority(std::string_view token) {
  if (token.starts_with('-'))
    token.remove_prefix(1);
  return !token.empty() && token.find_first_not_of("0123456789") == std::string_view::npos;
}

// The words of line after position from: role, priority, uri and the display name after them.
struct TFields {
  std::string_view Name, Role, Uri, Display;
};

// Names may hold spaces ("abstract base class"), so the name ends at the first space after
// which a role ("domain:role") and a priority follow, as Sphinx reads it.
std::optional<TFields> Split(std::string_view line) {
  for (std::size_t space = line.find(' '); space != std::string_view::npos;
       space = line.find(' ', space + 1)) {
    const std::size_t priority = line.find(' ', space + 1);
    const std::size_t uri =
        priority == std::string_view::npos ? priority : line.find(' ', priority + 1);
    const std::size_t display = uri == std::string_view::npos ? uri : line.find(' ', uri + 1);
    if (display == std::string_view::npos)
      return std::nullopt;
    const std::string_view role = line.substr(space + 1, priority - space - 1);
    if (role.find(':') != std::string_view::npos &&
        IsPriority(line.substr(priority + 1, uri - priority - 1)))
      return TFields{line.substr(0, space), role, line.substr(uri + 1, display - uri - 1),
                     line.substr(display + 1)};
  }
  return std::nullopt;
}

// One line into its keyword; false for lines that name no definition.
bool ReadLine(std::string_view line, TKeyword& keyword) {
  const auto fields = Split(line);
  if (!fields || fields->Role == "std:doc" || fields->Role == "std:label")
    return false;
  std::string uri(fields->Uri);
  if (uri.ends_with('$'))
    uri.replace(uri.size() - 1, 1, fields->Name);
  const std::size_t hash = uri.find('#');
  keyword = {std::string(fields->Display == "-" ? fields->Name : fields->Display),
             uri.substr(0, hash),
             hash == std::string::npos ? "" : uri.substr(hash + 1),
             "",
             TKeywordKind::Definition,
             std::string(fields->Role.substr(fields->Role.find(':') + 1))};
  return true;
}

}  // namespace

std::vector<TKeyword> ReadSphinxInventory(std::string_view bytes) {
  std::size_t body = 0;
  for (int line = 0; line < 4; ++line) {
    body = bytes.find('\n', body);
    if (body == std::string_view::npos)
      throw std::runtime_error("objects.inv ends in its header");
    ++body;
  }
  if (!bytes.starts_with("# Sphinx inventory version 2"))
    throw std::runtime_error("objects.inv is not a version 2 inventory");
  const std::string text = Inflated(bytes.substr(body));
  std::vector<TKeyword> keywords;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    TKeyword keyword;
    if (ReadLine(std::string_view(text).substr(start, end - start), keyword))
      keywords.push_back(std::move(keyword));
    start = end + 1;
  }
  return keywords;
}

}  // namespace tomelet::importer
