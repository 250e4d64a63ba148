// The map as JSON: the contents as an author writes them by hand or a tool emits them (a list
// of items, each with a title, a path with "#anchor" when it points inside a page, and its
// children), and keywords in the same form of path.
#include <nlohmann/json.hpp>

#include "document/DocumentMap.h"

namespace tomelet {
namespace {

using json = nlohmann::ordered_json;

[[noreturn]] void Invalid(const std::string& reason) {
  throw EDocumentMapError("The contents file is not valid: " + reason);
}

std::string JoinedPath(const std::string& page, const std::string& anchor) {
  return anchor.empty() ? page : page + "#" + anchor;
}

std::string_view KindName(TKeywordKind kind) {
  switch (kind) {
    case TKeywordKind::PageTitle:
      return "title";
    case TKeywordKind::Definition:
      return "definition";
    case TKeywordKind::Heading:
      break;
  }
  return "heading";
}

std::string Dumped(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json ItemsToJson(const TContents& items) {
  json list = json::array();
  for (const TContentsItem& item : items) {
    json entry = {{"title", item.Title}, {"path", JoinedPath(item.Page, item.Anchor)}};
    if (!item.Children.empty())
      entry["children"] = ItemsToJson(item.Children);
    list.push_back(std::move(entry));
  }
  return list;
}

// Paths are taken from the document's root whatever the author wrote before them.
std::string RootRelative(std::string path) {
  for (char& c : path) {
    if (c == '\\')
      c = '/';
  }
  while (path.starts_with("./") || path.starts_with("/"))
    path.erase(0, path.front() == '/' ? 1 : 2);
  return path;
}

TContents ItemsFromJson(const json& list, int depth) {
  if (!list.is_array())
    Invalid("a list of items was expected");
  if (depth > 64)
    Invalid("the items are nested too deeply");
  TContents items;
  for (const json& entry : list) {
    if (!entry.is_object() || !entry.contains("title") || !entry["title"].is_string())
      Invalid("every item needs a \"title\"");
    TContentsItem item;
    item.Title = entry["title"].get<std::string>();
    const std::string path = RootRelative(entry.value("path", std::string()));
    const auto hash = path.find('#');
    item.Page = path.substr(0, hash);
    item.Anchor = hash == std::string::npos ? "" : path.substr(hash + 1);
    if (entry.contains("children"))
      item.Children = ItemsFromJson(entry["children"], depth + 1);
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

std::string ContentsToJson(const TContents& contents) {
  return Dumped({{"version", kMapJsonVersion}, {"contents", ItemsToJson(contents)}});
}

std::string KeywordsToJson(std::string_view query, const std::vector<TKeyword>& keywords) {
  json list = json::array();
  for (const TKeyword& keyword : keywords) {
    json entry = {{"term", keyword.Term},
                  {"path", JoinedPath(keyword.Page, keyword.Anchor)},
                  {"title", keyword.PageTitle},
                  {"kind", KindName(keyword.Kind)}};
    if (!keyword.Type.empty())
      entry["type"] = keyword.Type;
    list.push_back(std::move(entry));
  }
  return Dumped({{"version", kMapJsonVersion}, {"query", query}, {"keywords", std::move(list)}});
}

TContents ContentsFromJson(std::string_view text) {
  json parsed;
  try {
    parsed = json::parse(text);
    if (!parsed.is_object())
      return ItemsFromJson(parsed, 0);
    if (parsed.value("version", 0) > kMapJsonVersion)
      Invalid("it is of a later version than this program reads");
    return ItemsFromJson(parsed.at("contents"), 0);
  } catch (const json::exception& e) {
    Invalid(e.what());
  }
}

}  // namespace tomelet
