// The page is read with libxml2's HTML parser driven as a stream of events: no tree is built,
// which makes it several times faster than a tree-building HTML5 parser on large documents.
#include "search/HtmlText.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <memory>

#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"
#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

// Above this share of link text a long page is a generated list of links, not prose.
constexpr double kIndexLinkShare = 0.6;
constexpr std::size_t kIndexMinimumText = 2000;

constexpr std::array<std::string_view, 12> kSkippedElements = {
    "script", "style",  "noscript", "template", "nav",    "footer",
    "button", "select", "textarea", "svg",      "iframe", "object"};
// "navheader" and "navfooter" are DocBook's link bars above and below each page ("Prev Up ...
// Home Next"); "toc" its tables of contents, each entry a <dt> that would otherwise be a section
// of the chapter page repeating the heading of the page it links to.
constexpr std::array<std::string_view, 15> kChromeClasses = {
    "sphinxsidebar", "related",    "footer",      "headerlink", "navigation",
    "navbar",        "breadcrumb", "breadcrumbs", "nav",        "sidebar",
    "skip-link",     "navpath",    "navheader",   "navfooter",  "toc"};
constexpr std::array<std::string_view, 4> kChromeRoles = {"navigation", "banner", "contentinfo",
                                                          "search"};
constexpr std::array<std::string_view, 7> kHeadings = {"h1", "h2", "h3", "h4", "h5", "h6", "dt"};
constexpr std::array<std::string_view, 20> kInlineElements = {
    "a",   "span", "em",   "strong", "code", "b", "i", "tt",   "kbd", "var",
    "sub", "sup",  "abbr", "small",  "samp", "u", "s", "mark", "q",   "cite"};

template <std::size_t N>
bool IsOneOf(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Each element's class list is split once, not once per name: this runs for every tag.
template <std::size_t N>
bool HasAnyToken(std::string_view list, const std::array<std::string_view, N>& names) {
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t end = pos;
    while (end < list.size() && !IsSpace(list[end])) {
      ++end;
    }
    if (end > pos && IsOneOf(names, list.substr(pos, end - pos))) {
      return true;
    }
    pos = end + 1;
  }
  return false;
}

std::string_view Text(const xmlChar* text) {
  return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text)) : "";
}

std::string_view Attribute(const xmlChar** attributes, std::string_view name) {
  for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2) {
    if (Text(attributes[i]) == name) {
      return Text(attributes[i + 1]);
    }
  }
  return {};
}

bool IsChrome(std::string_view name, const xmlChar** attributes) {
  if (IsOneOf(kSkippedElements, name) || IsOneOf(kChromeRoles, Attribute(attributes, "role"))) {
    return true;
  }
  return HasAnyToken(Attribute(attributes, "class"), kChromeClasses);
}

void AppendCollapsed(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (!IsSpace(c)) {
      out += c;
    } else if (!out.empty() && out.back() != ' ') {
      out += ' ';
    }
  }
}

void Separate(std::string& out) {
  if (!out.empty() && out.back() != ' ') {
    out += ' ';
  }
}

void Trim(std::string& text) {
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  if (!text.empty() && text.front() == ' ') {
    text.erase(0, 1);
  }
}

// Receives the parser's events and cuts the page into sections at its headings. Where the
// parser reports its place in the page's bytes (parser set), each section's lead range is kept.
class TTextCollector {
 public:
  TTextCollector(TPageText& page, std::string_view html) : page_(page), html_(html) {
    page_.Sections.emplace_back();
  }

  void TrackPlaces(htmlParserCtxtPtr parser) {
    parser_ = parser;
    page_.Sections.back().Lead = TByteRange{};
  }

  void Start(std::string_view name, const xmlChar** attributes) {
    if (skipDepth_ > 0 || IsChrome(name, attributes)) {
      ++skipDepth_;
      return;
    }
    if (name == "html") {
      page_.Language = std::string(Attribute(attributes, "lang"));
    }
    if (!IsOneOf(kInlineElements, name)) {
      Separate(Target());
    }
    std::string_view id = Attribute(attributes, "id");
    if (id.empty() && name == "a") {
      id = Attribute(attributes, "name");
    }
    if (!id.empty() && name == "a" && headingDepth_ != 0 && !anchorSettled_) {
      TakeAnchorInsideHeading(id);
    } else if (!id.empty()) {
      pendingIds_.emplace_back(id);
    }
    ++depth_;
    if (name == "a") {
      ++linkDepth_;
    } else if (name == "title") {
      inTitle_ = true;
    } else if (IsOneOf(kHeadings, name) && headingDepth_ == 0) {
      StartSection(name, id, name == "dt" ? 0 : name[1] - '0');
      headingDepth_ = depth_;
    }
  }

  void End(std::string_view name) {
    if (skipDepth_ > 0) {
      --skipDepth_;
      return;
    }
    if (name == "a" && linkDepth_ > 0) {
      --linkDepth_;
    } else if (name == "title") {
      inTitle_ = false;
    } else if (depth_ == headingDepth_) {
      headingDepth_ = 0;
      Trim(page_.Sections.back().Heading);
    }
    --depth_;
    if (!IsOneOf(kInlineElements, name)) {
      Separate(Target());
    }
  }

  void Characters(std::string_view text) {
    if (skipDepth_ > 0) {
      return;
    }
    if (inTitle_) {
      AppendCollapsed(page_.Title, text);
      return;
    }
    if (text.find_first_not_of(" \t\r\n\f") != std::string_view::npos) {
      // Ids inside running text mark index entries and link targets, not definitions.
      pendingIds_.clear();
      allText_ += text.size();
      linkText_ += linkDepth_ > 0 ? text.size() : 0;
      if (headingDepth_ != 0 && linkDepth_ > 0) {
        page_.Sections.back().HeadingHasLink = true;
      }
    }
    const TPageSection& section = page_.Sections.back();
    const bool leadWanted = section.Heading.size() + section.Text.size() < kLeadTextBytes;
    AppendCollapsed(Target(), text);
    if (leadWanted) {
      ExtendLead();
    }
  }

  bool LooksGenerated() const {
    return allText_ >= kIndexMinimumText &&
           static_cast<double>(linkText_) > kIndexLinkShare * static_cast<double>(allText_);
  }

 private:
  // Some generators put a heading's id on an empty anchor inside it (<h1><a id="x"></a>Title</h1>);
  // it names this heading more surely than an anchor before it, which may name the page.
  void TakeAnchorInsideHeading(std::string_view id) {
    TPageSection& section = page_.Sections.back();
    section.Anchor = std::string(id);
    section.Ids.emplace_back(id);
    anchorSettled_ = true;
  }

  void StartSection(std::string_view name, std::string_view ownId, int level) {
    // A name with several signatures is several <dt> in a row, only the first with the id: the
    // rest belong to its section, or a hit on them would lead to the top of the page.
    const TPageSection& last = page_.Sections.back();
    if (level == 0 && ownId.empty() && pendingIds_.empty() && last.IsDefinition &&
        last.Text.empty() && !last.Anchor.empty()) {
      Separate(page_.Sections.back().Heading);
      anchorSettled_ = true;
      return;
    }
    TPageSection section;
    section.IsDefinition = level == 0;
    section.Level = level;
    anchorSettled_ = !ownId.empty();
    if (!ownId.empty()) {
      section.Anchor = std::string(ownId);
    } else if (!pendingIds_.empty()) {
      section.Anchor = pendingIds_.back();
    }
    section.Ids = std::move(pendingIds_);
    pendingIds_.clear();
    section.Lead = OpeningTag(name);
    page_.Sections.push_back(std::move(section));
  }

  // The start tag of element `name` just read, found back from the parser's place in it or
  // right after it; none when the bytes there are not that tag.
  std::optional<TByteRange> OpeningTag(std::string_view name) const {
    if (parser_ == nullptr) {
      return std::nullopt;
    }
    const long place = xmlByteConsumed(parser_);
    if (place <= 0 || static_cast<std::size_t>(place) > html_.size()) {
      return std::nullopt;
    }
    const std::size_t open = html_.rfind('<', static_cast<std::size_t>(place));
    if (open == std::string_view::npos || FoldAscii(html_.substr(open + 1, name.size())) != name) {
      return std::nullopt;
    }
    const std::size_t after = open + 1 + name.size();
    if (after < html_.size() && std::isalnum(static_cast<unsigned char>(html_[after])) != 0) {
      return std::nullopt;
    }
    return TByteRange{open, open};
  }

  // Takes the section's range on to the parser's place, just after the text read.
  void ExtendLead() {
    auto& lead = page_.Sections.back().Lead;
    const long place = lead ? xmlByteConsumed(parser_) : -1;
    if (place > 0 && static_cast<std::size_t>(place) <= html_.size()) {
      lead->End = std::max(lead->End, static_cast<std::size_t>(place));
    }
  }

  std::string& Target() {
    TPageSection& section = page_.Sections.back();
    return headingDepth_ != 0 ? section.Heading : section.Text;
  }

  TPageText& page_;
  std::string_view html_;
  htmlParserCtxtPtr parser_ = nullptr;
  std::vector<std::string> pendingIds_;
  int depth_ = 0;
  int skipDepth_ = 0;
  int headingDepth_ = 0;
  int linkDepth_ = 0;
  bool anchorSettled_ = false;  // the open heading's anchor is its own id or one inside it
  bool inTitle_ = false;
  std::size_t linkText_ = 0;
  std::size_t allText_ = 0;
};

TTextCollector& Collector(void* context) {
  return *static_cast<TTextCollector*>(context);
}

htmlSAXHandler MakeHandler() {
  htmlSAXHandler handler{};
  handler.startElement = [](void* context, const xmlChar* name, const xmlChar** attributes) {
    Collector(context).Start(Text(name), attributes);
  };
  handler.endElement = [](void* context, const xmlChar* name) {
    Collector(context).End(Text(name));
  };
  handler.characters = [](void* context, const xmlChar* text, int length) {
    Collector(context).Characters(
        {reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)});
  };
  return handler;
}

}  // namespace

// Feeds html to a push parser with these callbacks. Pages that are valid UTF-8 are read as such,
// and startedUtf8 (when given) is handed the parser first: its places are then the page's own
// bytes. Others follow their own charset declaration.
void ParseHtml(std::string_view html, htmlSAXHandler* handler, void* context,
               const std::function<void(htmlParserCtxtPtr)>& startedUtf8 = {}) {
  // libxml2 must set up its global tables once before parsers run on several threads.
  static const bool initialised = (xmlInitParser(), true);
  (void)initialised;
  const bool utf8 = IsValidUtf8(html);
  std::unique_ptr<htmlParserCtxt, void (*)(htmlParserCtxtPtr)> parser(
      htmlCreatePushParserCtxt(handler, context, nullptr, 0, nullptr,
                               utf8 ? XML_CHAR_ENCODING_UTF8 : XML_CHAR_ENCODING_NONE),
      htmlFreeParserCtxt);
  if (parser == nullptr) {
    return;
  }
  if (utf8 && startedUtf8) {
    startedUtf8(parser.get());
  }
  htmlCtxtUseOptions(parser.get(), HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  constexpr std::size_t kChunk = 1 << 20;
  for (std::size_t pos = 0; pos < html.size(); pos += kChunk) {
    const std::size_t size = std::min(kChunk, html.size() - pos);
    htmlParseChunk(parser.get(), html.data() + pos, static_cast<int>(size), 0);
  }
  htmlParseChunk(parser.get(), nullptr, 0, 1);
}

TPageText ExtractPageText(std::string_view html) {
  static htmlSAXHandler handler = MakeHandler();
  TPageText page;
  TTextCollector collector(page, html);
  ParseHtml(html, &handler, &collector,
            [&collector](htmlParserCtxtPtr parser) { collector.TrackPlaces(parser); });
  Trim(page.Title);
  for (TPageSection& section : page.Sections) {
    Trim(section.Heading);
    Trim(section.Text);
  }
  if (page.Sections.size() > 1 && page.Sections.front().Text.empty() &&
      page.Sections.front().Ids.empty()) {
    page.Sections.erase(page.Sections.begin());
  }
  page.IsGeneratedIndex = collector.LooksGenerated();
  return page;
}

namespace {

void AppendSpaced(std::string& out, std::string_view part) {
  if (!part.empty()) {
    out += out.empty() ? "" : " ";
    out += part;
  }
}

}  // namespace

std::string ShownText(const TPageSection& section) {
  std::string shown;
  AppendSpaced(shown, section.Heading);
  AppendSpaced(shown, section.Text);
  return shown;
}

std::string SectionLead(std::string_view lead) {
  std::string text;
  for (const auto& section : ExtractPageText(lead).Sections) {
    AppendSpaced(text, section.Heading);
    AppendSpaced(text, section.Text);
  }
  return text;
}

std::vector<std::string> PageLinks(std::string_view html) {
  static htmlSAXHandler handler = [] {
    htmlSAXHandler links{};
    links.startElement = [](void* context, const xmlChar* name, const xmlChar** attributes) {
      static const std::pair<std::string_view, std::string_view> kLinking[] = {
          {"a", "href"},     {"area", "href"},  {"link", "href"}, {"img", "src"},
          {"script", "src"}, {"iframe", "src"}, {"frame", "src"}, {"embed", "src"},
          {"source", "src"}, {"audio", "src"},  {"video", "src"}, {"object", "data"}};
      for (const auto& [element, attribute] : kLinking) {
        if (Text(name) == element) {
          const std::string_view value = Attribute(attributes, attribute);
          if (!value.empty())
            static_cast<std::vector<std::string>*>(context)->emplace_back(value);
        }
      }
    };
    return links;
  }();
  std::vector<std::string> links;
  ParseHtml(html, &handler, &links);
  return links;
}

bool IsHtmlPageName(std::string_view archivePath) {
  const auto dot = archivePath.rfind('.');
  if (dot == std::string_view::npos) {
    return false;
  }
  const std::string extension = FoldAscii(archivePath.substr(dot + 1));
  return extension == "html" || extension == "htm" || extension == "xhtml";
}

}  // namespace tomelet::search
