// Four header lines, then zlib-compressed lines "name domain:role priority uri display name",
// where a "$" ending the uri stands for the name and a display name "-" for the name too.
#include "import/SphinxInventory.h"

#include <zlib.h>

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

// One line into its keyword; false for lines that name no definition.
bool ReadLine(std::string_view line, TKeyword& keyword) {
  const std::size_t roleStart = line.find(' ');
  const std::size_t priorityStart = line.find(' ', roleStart + 1);
  const std::size_t uriStart = line.find(' ', priorityStart + 1);
  const std::size_t displayStart = line.find(' ', uriStart + 1);
  if (displayStart == std::string_view::npos)
    return false;
  const std::string_view name = line.substr(0, roleStart);
  const std::string_view role = line.substr(roleStart + 1, priorityStart - roleStart - 1);
  if (role == "std:doc" || role == "std:label" || role.find(':') == std::string_view::npos)
    return false;
  std::string uri(line.substr(uriStart + 1, displayStart - uriStart - 1));
  if (uri.ends_with('$'))
    uri.replace(uri.size() - 1, 1, name);
  const std::string_view display = line.substr(displayStart + 1);
  const std::size_t hash = uri.find('#');
  keyword = {std::string(display == "-" ? name : display),
             uri.substr(0, hash),
             hash == std::string::npos ? "" : uri.substr(hash + 1),
             "",
             TKeywordKind::Definition,
             std::string(role.substr(role.find(':') + 1))};
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
