// Lists are read from libxml2's repaired tree of the page: a table of contents is a nesting of
// ul/ol items or of dl terms and descriptions, with the link in an <a> or, in the sitemap form
// help-file tools write, in the Name and Local params of an <object>.
#include "search/ContentsFinder.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <memory>

#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"
#include "platform/text/PercentEscapes.h"

namespace tomelet::search {
namespace {

using TTree = std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)>;

TTree ParseTree(std::string_view html) {
  const std::string text(html);
  const bool utf8 = IsValidUtf8(text);
  return TTree(
      htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, utf8 ? "UTF-8" : nullptr,
                     HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET),
      xmlFreeDoc);
}

std::string_view Name(const xmlNode* node) {
  return node->type == XML_ELEMENT_NODE ? reinterpret_cast<const char*>(node->name) : "";
}

std::string Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

bool IsList(std::string_view name) {
  return name == "ul" || name == "ol" || name == "dl" || name == "menu";
}

// Inline markup inside a title ("Compilation (<acronym>JIT</acronym>)") must not gain spaces;
// only elements that break the line separate words.
bool BreaksLine(std::string_view name) {
  static constexpr std::array<std::string_view, 14> kBreaking = {
      "br", "p", "div", "li", "dt", "dd", "td", "th", "h1", "h2", "h3", "h4", "h5", "h6"};
  return std::find(kBreaking.begin(), kBreaking.end(), name) != kBreaking.end();
}

void AppendText(const xmlNode* node, std::string& out) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_TEXT_NODE && child->content != nullptr) {
      out += reinterpret_cast<const char*>(child->content);
    } else if (child->type == XML_ELEMENT_NODE && !IsList(Name(child))) {
      const bool breaks = BreaksLine(Name(child));
      if (breaks)
        out += ' ';
      AppendText(child, out);
      if (breaks)
        out += ' ';
    }
  }
}

// The text inside node, lists left out, white space collapsed.
std::string CollapsedText(const xmlNode* node) {
  std::string raw;
  AppendText(node, raw);
  std::string out;
  for (const char c : raw) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    if (!space)
      out += c;
    else if (!out.empty() && out.back() != ' ')
      out += ' ';
  }
  if (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

struct TLinkFound {
  std::string Title;
  std::string Href;
  bool Found = false;
};

// The sitemap form: <object type="text/sitemap"><param name="Name" value=...><param name="Local"
// ...>.
TLinkFound SitemapLink(const xmlNode* object) {
  TLinkFound link;
  for (const xmlNode* param = object->children; param != nullptr; param = param->next) {
    if (Name(param) != "param")
      continue;
    const std::string name = FoldAscii(Attribute(param, "name"));
    if (name == "name" && link.Title.empty())
      link.Title = Attribute(param, "value");
    else if (name == "local")
      link.Href = Attribute(param, "value");
  }
  // Help-file tools write folders with the separator of their platform.
  std::replace(link.Href.begin(), link.Href.end(), '\\', '/');
  link.Found = !link.Title.empty();
  return link;
}

// The first link in node outside its nested lists.
TLinkFound FirstLink(const xmlNode* node) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    const std::string_view name = Name(child);
    if (name.empty() || IsList(name))
      continue;
    if (name == "a" && xmlHasProp(child, reinterpret_cast<const xmlChar*>("href")) != nullptr)
      return {CollapsedText(child), Attribute(child, "href"), true};
    if (name == "object")
      return SitemapLink(child);
    if (TLinkFound found = FirstLink(child); found.Found)
      return found;
  }
  return {};
}

class TListReader {
 public:
  TListReader(std::string_view pagePath, const TLinkResolver& resolve)
      : pagePath_(pagePath), resolve_(resolve) {}

  TContents List(const xmlNode* list) {
    TContents items;
    for (const xmlNode* child = list->children; child != nullptr; child = child->next) {
      const std::string_view name = Name(child);
      if (name == "li" || name == "dt") {
        AddItem(items, Item(child));
      } else if (name == "dd") {
        TContents nested = ListsWithin(child);
        TContents& target = items.empty() ? items : items.back().Children;
        target.insert(target.end(), nested.begin(), nested.end());
      } else if (IsList(name)) {
        TContents nested = List(child);
        items.insert(items.end(), nested.begin(), nested.end());
      }
    }
    return items;
  }

  // The lists inside node, outside any list nested in them, one after another.
  TContents ListsWithin(const xmlNode* node) {
    TContents items;
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
      TContents nested = IsList(Name(child)) ? List(child) : ListsWithin(child);
      items.insert(items.end(), nested.begin(), nested.end());
    }
    return items;
  }

  std::size_t Links() const { return links_; }

 private:
  TContentsItem Item(const xmlNode* node) {
    TContentsItem item;
    const TLinkFound link = FirstLink(node);
    item.Title = link.Found ? link.Title : CollapsedText(node);
    if (link.Found && !link.Href.empty()) {
      const TJoinedLink joined = JoinLink(pagePath_, link.Href);
      item.Page = joined.External ? "" : resolve_(joined.Path);
      item.Anchor = item.Page.empty() ? "" : joined.Anchor;
      links_ += item.Page.empty() ? 0 : 1;
    }
    item.Children = ListsWithin(node);
    return item;
  }

  static void AddItem(TContents& items, TContentsItem item) {
    if (!item.Title.empty() || !item.Children.empty())
      items.push_back(std::move(item));
  }

  std::string_view pagePath_;
  const TLinkResolver& resolve_;
  std::size_t links_ = 0;
};

bool HasClass(const xmlNode* node, std::string_view wanted) {
  const std::string classes = " " + Attribute(node, "class") + " ";
  return classes.find(" " + std::string(wanted) + " ") != std::string::npos;
}

bool IsSiteNavigation(const xmlNode* list) {
  if (HasClass(list, "navbar-nav"))
    return true;
  for (const xmlNode* item = list->children; item != nullptr; item = item->next) {
    if (Name(item) == "li" && HasClass(item, "toctree-l1"))
      return true;
  }
  return false;
}

void CollectListTrees(const xmlNode* node, std::string_view pagePath, const TLinkResolver& resolve,
                      std::vector<TListTree>& trees) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (IsList(Name(child))) {
      TListReader reader(pagePath, resolve);
      TContents items = reader.List(child);
      if (reader.Links() > 0)
        trees.push_back({std::move(items), reader.Links(), IsSiteNavigation(child)});
    } else if (child->type == XML_ELEMENT_NODE) {
      CollectListTrees(child, pagePath, resolve, trees);
    }
  }
}

bool NamesContents(std::string_view text) {
  const std::string folded = FoldAscii(text);
  return folded.find("contents") != std::string::npos || folded.find("toc") != std::string::npos;
}

void CollectContentsLinks(const xmlNode* node, std::string_view pagePath,
                          const TLinkResolver& resolve, std::vector<std::string>& pages) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    const std::string_view name = Name(child);
    if (name.empty())
      continue;
    const bool frame = name == "iframe" || name == "frame";
    const std::string href = Attribute(child, frame ? "src" : "href");
    if ((name == "a" || frame) && !href.empty()) {
      const TJoinedLink joined = JoinLink(pagePath, href);
      const std::string fileName = joined.Path.substr(joined.Path.rfind('/') + 1);
      const std::string page = joined.External ? "" : resolve(joined.Path);
      if (!page.empty() && page != pagePath &&
          (NamesContents(fileName) || (!frame && NamesContents(CollapsedText(child)))) &&
          std::find(pages.begin(), pages.end(), page) == pages.end())
        pages.push_back(page);
    }
    CollectContentsLinks(child, pagePath, resolve, pages);
  }
}

bool HasScheme(std::string_view href) {
  const std::size_t colon = href.find(':');
  return colon != std::string_view::npos && colon > 0 && href.find_first_of("/?#") > colon;
}

std::string FoldedSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    const std::size_t end = std::min(path.find('/', pos), path.size());
    const std::string_view segment = path.substr(pos, end - pos);
    if (segment == "..") {
      if (!segments.empty())
        segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    pos = end + 1;
  }
  std::string joined;
  for (const std::string_view segment : segments)
    joined += (joined.empty() ? "" : "/") + std::string(segment);
  return joined;
}

}  // namespace

TJoinedLink JoinLink(std::string_view pagePath, std::string_view href) {
  TJoinedLink link;
  if (HasScheme(href) || href.starts_with("//")) {
    link.External = true;
    return link;
  }
  const std::size_t hash = href.find('#');
  if (hash != std::string_view::npos)
    link.Anchor = PercentDecoded(href.substr(hash + 1), TPlusSign::Itself, TBadEscape::Kept);
  std::string_view target = href.substr(0, hash);
  target = target.substr(0, target.find('?'));
  if (target.empty())
    target = pagePath.substr(pagePath.rfind('/') + 1);
  const std::size_t slash = pagePath.rfind('/');
  const std::string folder(slash == std::string_view::npos ? "" : pagePath.substr(0, slash + 1));
  const std::string decoded = PercentDecoded(target, TPlusSign::Itself, TBadEscape::Kept);
  link.Path = FoldedSegments(decoded.starts_with('/') ? decoded : folder + decoded);
  return link;
}

std::vector<TListTree> ListTrees(std::string_view html, std::string_view pagePath,
                                 const TLinkResolver& resolve) {
  std::vector<TListTree> trees;
  const TTree tree = ParseTree(html);
  if (tree)
    CollectListTrees(reinterpret_cast<xmlNode*>(tree.get()), pagePath, resolve, trees);
  return trees;
}

std::vector<std::string> TableOfContentsLinks(std::string_view html, std::string_view pagePath,
                                              const TLinkResolver& resolve) {
  std::vector<std::string> pages;
  const TTree tree = ParseTree(html);
  if (tree)
    CollectContentsLinks(reinterpret_cast<xmlNode*>(tree.get()), pagePath, resolve, pages);
  return pages;
}

}  // namespace tomelet::search
