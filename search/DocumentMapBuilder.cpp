// Keywords come from the same reading of a page as the search index (HtmlText), so navigation
// is left out alike; the contents come from the lists of one or two pages (ContentsFinder).
#include "search/DocumentMapBuilder.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/text/AsciiCase.h"
#include "platform/text/ShownText.h"
#include "search/ContentsFinder.h"
#include "search/HtmlText.h"
#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "25.1. Routine Vacuuming" is looked up as "Routine Vacuuming": section numbers are not words a
// reader types. Generators often put a no-break space after the number.
std::string WithoutNumbering(const std::string& heading) {
  std::size_t end = 0;
  while (end < heading.size() && (IsDigit(heading[end]) || heading[end] == '.' ||
                                  (heading[end] >= 'A' && heading[end] <= 'Z')))
    ++end;
  const std::string_view number(heading.data(), end);
  if (end < 2 || number.back() != '.' || !std::any_of(number.begin(), number.end(), IsDigit))
    return heading;
  std::string_view rest = std::string_view(heading).substr(end);
  const std::size_t before = rest.size();
  while (rest.starts_with(' ') || rest.starts_with("\xC2\xA0"))
    rest.remove_prefix(rest.starts_with(' ') ? 1 : 2);
  return rest.size() < before && !rest.empty() ? std::string(rest) : heading;
}

// An API name in the id ("json.dumps" for "json.dumps(obj, *, ...)") is what a reader types; an
// id that is not in the text ("GLOSSARY-ACID" for "ACID") is not. A term with a link in it is an
// entry of a back-of-book index, which points elsewhere: not a definition on this page.
std::string DefinitionTerm(const TPageSection& section) {
  const std::string& id = section.Anchor;
  const std::string_view last = std::string_view(id).substr(id.rfind('.') + 1);
  const bool apiName = id.find(' ') == std::string::npos && !last.empty() &&
                       section.Heading.find(last) != std::string::npos;
  return apiName ? id : section.HeadingHasLink ? "" : section.Heading;
}

// Permalink marks that generators put into headings ("◆ spam_read_file()", "Usage¶") are no
// part of the term a reader types.
std::string WithoutMarks(std::string term) {
  static const std::string_view kMarks[] = {"\xE2\x97\x86", "\xC2\xB6", "\xC2\xA7", "#",
                                            "\xC2\xA0"};
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (const std::string_view mark : kMarks) {
      while (term.starts_with(mark) || term.starts_with(' ')) {
        term.erase(0, term.starts_with(' ') ? 1 : mark.size());
        trimmed = true;
      }
      while (term.ends_with(mark) || term.ends_with(' ')) {
        term.resize(term.size() - (term.ends_with(' ') ? 1 : mark.size()));
        trimmed = true;
      }
    }
  }
  return term;
}

// A heading can be a whole paragraph on some pages; such text is not a term.
constexpr std::size_t kLongestTerm = 160;

void AddKeyword(std::vector<TKeyword>& keywords, std::string term, const std::string& page,
                const std::string& anchor, const std::string& title, TKeywordKind kind) {
  term = WithoutMarks(std::move(term));
  if (!term.empty() && term.size() <= kLongestTerm)
    keywords.push_back({std::move(term), page, anchor, title, kind});
}

// The part of a title after its last separator (" — Project 1.0 documentation"), with the
// separator; empty when the title has none.
std::string_view TitleSuffix(std::string_view title) {
  std::size_t at = std::string_view::npos;
  for (const std::string_view separator : {" \xE2\x80\x94 ", " | ", " - ", " \xC2\xB7 "}) {
    const std::size_t found = title.rfind(separator);
    if (found != std::string_view::npos && found > 0 &&
        (at == std::string_view::npos || found > at))
      at = found;
  }
  return at == std::string_view::npos ? std::string_view() : title.substr(at);
}

// The suffix a generator puts after every page's title: one that more than half of the titles
// share, and at least two.
std::string SharedTitleSuffix(const std::map<std::string, std::string>& titles) {
  std::map<std::string_view, std::size_t> counts;
  for (const auto& [page, title] : titles) {
    if (const std::string_view suffix = TitleSuffix(title); !suffix.empty())
      ++counts[suffix];
  }
  for (const auto& [suffix, count] : counts) {
    if (count >= 2 && count * 2 > titles.size())
      return std::string(suffix);
  }
  return {};
}

// The project's name a generator puts before every page's title ("Quill: Guide"), with its
// separator, when more than half of the titles share it, and at least two.
std::string SharedTitlePrefix(const std::map<std::string, std::string>& titles) {
  std::map<std::string_view, std::size_t> counts;
  for (const auto& [page, title] : titles) {
    const std::size_t colon = title.find(": ");
    if (colon != std::string::npos && colon > 0)
      ++counts[std::string_view(title).substr(0, colon + 2)];
  }
  for (const auto& [prefix, count] : counts) {
    if (count >= 2 && count * 2 > titles.size())
      return std::string(prefix);
  }
  return {};
}

void StripPrefix(std::string& text, const std::string& prefix) {
  if (!prefix.empty() && text.size() > prefix.size() && text.starts_with(prefix))
    text.erase(0, prefix.size());
}

void StripSuffix(std::string& text, const std::string& suffix) {
  if (!suffix.empty() && text.size() > suffix.size() && text.ends_with(suffix))
    text.resize(text.size() - suffix.size());
}

// What the map takes from one page: its title and keywords.
struct TMappedPage {
  std::string Page;
  std::string Title;  // empty for a fragment (no title, no heading)
  std::vector<TKeyword> Keywords;
};

TMappedPage MapPage(std::string page, const TPageText& text) {
  const auto mainHeading = std::find_if(text.Sections.begin(), text.Sections.end(),
                                        [](const TPageSection& s) { return s.Level == 1; });
  TMappedPage mapped{std::move(page), text.Title, {}};
  std::string& title = mapped.Title;
  if (title.empty())
    title = mainHeading != text.Sections.end() ? mainHeading->Heading : "";
  // A page without a title or a heading is a fragment (a generator's search results, a frame's
  // part), not a page a reader looks for.
  if (title.empty())
    return mapped;
  auto& keywords = mapped.Keywords;
  if (mainHeading == text.Sections.end())
    AddKeyword(keywords, WithoutNumbering(title), mapped.Page, "", title, TKeywordKind::PageTitle);
  if (text.IsGeneratedIndex)
    return mapped;
  for (const TPageSection& section : text.Sections) {
    // Without a main heading the title stands for the page; a heading repeating it adds nothing.
    if (mainHeading == text.Sections.end() && section.Heading == title)
      continue;
    if (section.IsDefinition && !section.Anchor.empty())
      AddKeyword(keywords, DefinitionTerm(section), mapped.Page, section.Anchor, title,
                 TKeywordKind::Definition);
    else if (section.Level > 0)
      AddKeyword(keywords, WithoutNumbering(section.Heading), mapped.Page, section.Anchor, title,
                 section.Level == 1 && &section == &*mainHeading ? TKeywordKind::PageTitle
                                                                 : TKeywordKind::Heading);
  }
  return mapped;
}

// A folder of the document while the folder tree of the contents is made.
struct TFolder {
  std::string IndexPage;
  std::string IndexTitle;
  TContents Pages;
  std::map<std::string, TFolder> Folders;

  TContents Items() const {
    TContents items = Pages;
    for (const auto& [name, folder] : Folders) {
      const std::string& title = folder.IndexTitle.empty() ? name : folder.IndexTitle;
      items.push_back({title, folder.IndexPage, "", folder.Items()});
    }
    return items;
  }
};

}  // namespace

struct TDocumentMapBuilder::Impl {
  std::string StartPagePath;
  std::optional<TContents> Given;
  std::optional<TContents> Found;  // by FindContents, ahead of Finish
  std::mutex Lock;                 // over Pages, which the indexing threads fill
  std::map<std::uint64_t, TMappedPage> Pages;
  std::vector<TKeyword> Keywords;
  std::map<std::string, std::string> Titles;                 // page -> title, in path order
  std::unordered_map<std::string, std::string> FoldedPages;  // folded page -> page

  // A link to a folder ("guide/", ".") leads to its index page, as the viewer serves it.
  std::string Resolve(std::string_view path) const {
    const std::string folded = FoldAscii(path);
    const std::string folder = folded.empty() || folded.ends_with('/') ? folded : folded + "/";
    for (const std::string& candidate : {folded, folder + "index.html", folder + "index.htm"}) {
      const auto found = FoldedPages.find(candidate);
      if (found != FoldedPages.end())
        return found->second;
    }
    return "";
  }
  // Takes the pages' titles and keywords in the order of their numbers.
  void TakePages();
  TContents FoundContents(const TPageReader& readPage) const;
  TContents FolderContents() const;
};

TDocumentMapBuilder::TDocumentMapBuilder(std::string startPagePath)
    : impl_(std::make_unique<Impl>()) {
  impl_->StartPagePath = SlashSeparated(startPagePath);
}

TDocumentMapBuilder::~TDocumentMapBuilder() = default;

void TDocumentMapBuilder::AddPage(std::string_view archivePath, std::string_view html) {
  if (!IsHtmlPageName(archivePath))
    return;
  AddPagePath(archivePath);
  AddPageText(impl_->Pages.size(), archivePath, ExtractPageText(html));
}

void TDocumentMapBuilder::AddPagePath(std::string_view archivePath) {
  const std::string page = SlashSeparated(archivePath);
  impl_->FoldedPages[FoldAscii(page)] = page;
}

void TDocumentMapBuilder::FindContents(const TPageReader& readPage) {
  if (!impl_->Given)
    impl_->Found = impl_->FoundContents(readPage);
}

void TDocumentMapBuilder::AddPageText(std::uint64_t number, std::string_view archivePath,
                                      const TPageText& text) {
  TMappedPage mapped = MapPage(SlashSeparated(archivePath), text);
  const std::lock_guard guard(impl_->Lock);
  impl_->Pages.emplace(number, std::move(mapped));
}

void TDocumentMapBuilder::SetContents(TContents contents) {
  impl_->Given = std::move(contents);
}

void TDocumentMapBuilder::Impl::TakePages() {
  for (auto& [number, mapped] : Pages) {
    if (mapped.Title.empty())
      continue;
    Titles[mapped.Page] = mapped.Title;
    std::move(mapped.Keywords.begin(), mapped.Keywords.end(), std::back_inserter(Keywords));
  }
  Pages.clear();
}

TContents TDocumentMapBuilder::Impl::FoundContents(const TPageReader& readPage) const {
  const TLinkResolver resolve = [this](std::string_view path) { return Resolve(path); };
  const std::string start = Resolve(StartPagePath);
  const auto startHtml = start.empty() ? std::nullopt : readPage(start);
  if (!startHtml)
    return {};
  std::vector<TListTree> trees = ListTrees(*startHtml, start, resolve);
  for (const std::string& page : TableOfContentsLinks(*startHtml, start, resolve)) {
    if (const auto html = readPage(page)) {
      auto more = ListTrees(*html, page, resolve);
      std::move(more.begin(), more.end(), std::back_inserter(trees));
    }
  }
  // The site's own navigation wins whatever its size; otherwise a couple of links is a page's
  // navigation, not a table of contents.
  const auto largest =
      std::max_element(trees.begin(), trees.end(), [](const TListTree& a, const TListTree& b) {
        return std::pair(a.SiteNavigation, a.Links) < std::pair(b.SiteNavigation, b.Links);
      });
  const bool enough = largest != trees.end() && (largest->SiteNavigation || largest->Links >= 3);
  return enough ? largest->Items : TContents{};
}

TContents TDocumentMapBuilder::Impl::FolderContents() const {
  TFolder root;
  for (const auto& [page, title] : Titles) {
    TFolder* folder = &root;
    std::size_t begin = 0;
    for (std::size_t slash; (slash = page.find('/', begin)) != std::string::npos; begin = slash + 1)
      folder = &folder->Folders[page.substr(begin, slash - begin)];
    if (folder->IndexPage.empty() && FoldAscii(page.substr(begin)).starts_with("index.")) {
      folder->IndexPage = page;
      folder->IndexTitle = title;
    } else {
      folder->Pages.push_back({title, page, "", {}});
    }
  }
  TContents items = root.Items();
  if (!root.IndexPage.empty())
    items.insert(items.begin(), {root.IndexTitle, root.IndexPage, "", {}});
  return items;
}

TDocumentMap TDocumentMapBuilder::Finish(const TPageReader& readPage) {
  impl_->TakePages();
  const std::string suffix = SharedTitleSuffix(impl_->Titles);
  const std::string prefix = SharedTitlePrefix(impl_->Titles);
  const auto strip = [&](std::string& title) {
    StripSuffix(title, suffix);
    StripPrefix(title, prefix);
  };
  for (auto& [page, title] : impl_->Titles)
    strip(title);
  for (TKeyword& keyword : impl_->Keywords) {
    if (keyword.Term == keyword.PageTitle)
      strip(keyword.Term);
    strip(keyword.PageTitle);
  }
  TDocumentMap map;
  if (impl_->Given) {
    map.Contents = std::move(*impl_->Given);
  } else {
    map.Contents = impl_->Found ? std::move(*impl_->Found) : impl_->FoundContents(readPage);
    if (map.Contents.empty())
      map.Contents = impl_->FolderContents();
  }
  map.Keywords = TKeywordIndex(std::move(impl_->Keywords));
  return map;
}

std::vector<TOutlineHeading> PageOutline(std::string_view html) {
  std::vector<TOutlineHeading> outline;
  for (const TPageSection& section : ExtractPageText(html).Sections) {
    if (section.Level > 0 && !section.Heading.empty())
      outline.push_back({section.Level, section.Heading, section.Anchor});
  }
  return outline;
}

TContents ReadContentsFile(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (first != std::string_view::npos && (text[first] == '[' || text[first] == '{'))
    return ContentsFromJson(text);
  // The author's links are taken as they are: the pages they name are checked by the reader.
  const TLinkResolver anyPage = [](std::string_view path) { return std::string(path); };
  const auto trees = ListTrees(text, "", anyPage);
  const auto largest =
      std::max_element(trees.begin(), trees.end(),
                       [](const TListTree& a, const TListTree& b) { return a.Links < b.Links; });
  if (largest == trees.end())
    throw EDocumentMapError("The contents file is not valid: it holds no list of links");
  return largest->Items;
}

}  // namespace tomelet::search
