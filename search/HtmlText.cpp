#include "search/HtmlText.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <memory>

#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

// Above this share of link text a long page is a generated list of links, not prose.
constexpr double kIndexLinkShare = 0.6;
constexpr std::size_t kIndexMinimumText = 2000;

constexpr std::array<std::string_view, 12> kChromeClasses = {
    "sphinxsidebar", "related",     "footer", "headerlink", "navigation", "navbar",
    "breadcrumb",    "breadcrumbs", "nav",    "sidebar",    "skip-link",  "navpath"};
constexpr std::array<std::string_view, 4> kChromeRoles = {"navigation", "banner", "contentinfo",
                                                          "search"};

bool HasToken(std::string_view list, std::string_view token) {
  std::size_t pos = 0;
  while (pos < list.size()) {
    const std::size_t end = std::min(list.find_first_of(" \t\r\n\f", pos), list.size());
    if (list.substr(pos, end - pos) == token) {
      return true;
    }
    pos = end + 1;
  }
  return false;
}

std::string_view Attribute(const GumboElement& element, const char* name) {
  const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
  return attribute != nullptr ? std::string_view(attribute->value) : std::string_view();
}

bool IsSkipped(const GumboElement& element) {
  switch (element.tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_SVG:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_OBJECT:
      return true;
    default:
      break;
  }
  const std::string_view role = Attribute(element, "role");
  if (std::find(kChromeRoles.begin(), kChromeRoles.end(), role) != kChromeRoles.end()) {
    return true;
  }
  const std::string_view classes = Attribute(element, "class");
  return std::any_of(kChromeClasses.begin(), kChromeClasses.end(),
                     [&](std::string_view name) { return HasToken(classes, name); });
}

bool IsHeading(GumboTag tag) {
  return tag == GUMBO_TAG_H1 || tag == GUMBO_TAG_H2 || tag == GUMBO_TAG_H3 || tag == GUMBO_TAG_H4 ||
         tag == GUMBO_TAG_H5 || tag == GUMBO_TAG_H6 || tag == GUMBO_TAG_DT;
}

bool IsInline(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_SPAN:
    case GUMBO_TAG_EM:
    case GUMBO_TAG_STRONG:
    case GUMBO_TAG_CODE:
    case GUMBO_TAG_B:
    case GUMBO_TAG_I:
    case GUMBO_TAG_TT:
    case GUMBO_TAG_KBD:
    case GUMBO_TAG_VAR:
    case GUMBO_TAG_SUB:
    case GUMBO_TAG_SUP:
    case GUMBO_TAG_ABBR:
    case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SAMP:
    case GUMBO_TAG_U:
    case GUMBO_TAG_S:
    case GUMBO_TAG_MARK:
    case GUMBO_TAG_Q:
    case GUMBO_TAG_CITE:
      return true;
    default:
      return false;
  }
}

void AppendCollapsed(std::string& out, std::string_view text) {
  for (const char c : text) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    if (!space) {
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

// Walks the tree without recursion, so hostile nesting depth cannot exhaust the stack.
class TTextWalker {
 public:
  explicit TTextWalker(TPageText& page) : page_(page) { page_.Sections.emplace_back(); }

  void Walk(const GumboNode* root) {
    struct Frame {
      const GumboNode* node;
      unsigned next;
    };
    std::vector<Frame> stack{{root, 0}};
    Enter(root);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const GumboVector& children = frame.node->v.element.children;
      if (frame.next < children.length) {
        const auto* child = static_cast<const GumboNode*>(children.data[frame.next++]);
        if (child->type == GUMBO_NODE_ELEMENT) {
          if (!IsSkipped(child->v.element)) {
            Enter(child);
            stack.push_back({child, 0});
          }
        } else if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
                   child->type == GUMBO_NODE_WHITESPACE) {
          Text(child->v.text.text);
        }
      } else {
        Leave(frame.node);
        stack.pop_back();
      }
    }
  }

  std::size_t LinkText() const { return linkText_; }
  std::size_t AllText() const { return allText_; }

 private:
  void Enter(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (!IsInline(element.tag)) {
      Separate(Target());
    }
    std::string_view id = Attribute(element, "id");
    if (id.empty() && element.tag == GUMBO_TAG_A) {
      id = Attribute(element, "name");
    }
    if (!id.empty()) {
      pendingIds_.emplace_back(id);
    }
    if (element.tag == GUMBO_TAG_A) {
      ++linkDepth_;
    } else if (element.tag == GUMBO_TAG_TITLE && titleDepth_ == 0) {
      ++titleDepth_;
    } else if (IsHeading(element.tag) && headingNode_ == nullptr) {
      StartSection(id);
      headingNode_ = node;
    }
  }

  void Leave(const GumboNode* node) {
    const GumboTag tag = node->v.element.tag;
    if (tag == GUMBO_TAG_A) {
      --linkDepth_;
    } else if (tag == GUMBO_TAG_TITLE && titleDepth_ > 0) {
      --titleDepth_;
    } else if (node == headingNode_) {
      headingNode_ = nullptr;
      Trim(page_.Sections.back().Heading);
    }
    if (!IsInline(tag)) {
      Separate(Target());
    }
  }

  void StartSection(std::string_view ownId) {
    TPageSection section;
    section.Anchor = !ownId.empty() ? std::string(ownId)
                                    : (pendingIds_.empty() ? std::string() : pendingIds_.back());
    section.Ids = std::move(pendingIds_);
    pendingIds_.clear();
    Trim(page_.Sections.back().Text);
    page_.Sections.push_back(std::move(section));
  }

  void Text(std::string_view text) {
    if (titleDepth_ > 0) {
      AppendCollapsed(page_.Title, text);
      return;
    }
    if (text.find_first_not_of(" \t\r\n\f") == std::string_view::npos) {
      AppendCollapsed(Target(), text);
      return;
    }
    TPageSection& section = page_.Sections.back();
    section.Ids.insert(section.Ids.end(), pendingIds_.begin(), pendingIds_.end());
    pendingIds_.clear();
    allText_ += text.size();
    if (linkDepth_ > 0) {
      linkText_ += text.size();
    }
    AppendCollapsed(Target(), text);
  }

  std::string& Target() {
    TPageSection& section = page_.Sections.back();
    return headingNode_ != nullptr ? section.Heading : section.Text;
  }

  TPageText& page_;
  std::vector<std::string> pendingIds_;
  const GumboNode* headingNode_ = nullptr;
  int linkDepth_ = 0;
  int titleDepth_ = 0;
  std::size_t linkText_ = 0;
  std::size_t allText_ = 0;
};

}  // namespace

TPageText ExtractPageText(std::string_view html) {
  TPageText page;
  std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
      gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()),
      [](GumboOutput* parsed) { gumbo_destroy_output(&kGumboDefaultOptions, parsed); });
  if (output == nullptr || output->root->type != GUMBO_NODE_ELEMENT) {
    return page;
  }
  page.Language = std::string(Attribute(output->root->v.element, "lang"));
  TTextWalker walker(page);
  walker.Walk(output->root);
  Trim(page.Title);
  for (TPageSection& section : page.Sections) {
    Trim(section.Text);
  }
  if (!page.Sections.empty() && page.Sections.front().Text.empty() &&
      page.Sections.front().Ids.empty() && page.Sections.size() > 1) {
    page.Sections.erase(page.Sections.begin());
  }
  page.IsGeneratedIndex = walker.AllText() >= kIndexMinimumText &&
                          static_cast<double>(walker.LinkText()) >
                              kIndexLinkShare * static_cast<double>(walker.AllText());
  return page;
}

bool IsHtmlPageName(std::string_view archivePath) {
  const auto dot = archivePath.rfind('.');
  if (dot == std::string_view::npos) {
    return false;
  }
  std::string extension(archivePath.substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return extension == "html" || extension == "htm" || extension == "xhtml";
}

}  // namespace tomelet::search
