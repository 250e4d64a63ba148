// The bookmark file format as browsers write it: a DOCTYPE line, then nested <DL> lists whose
// <DT> items are folders (<H3>) or links (<A HREF=...>title</A>), written in HTML that is not
// quite HTML, so it is read tag by tag rather than by an HTML parser.
#include <charconv>
#include <map>
#include <optional>
#include <sstream>

#include "bookmarks/Bookmarks.h"
#include "platform/files/AtomicFile.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/HtmlEscapes.h"
#include "platform/text/Utf8.h"

namespace tomelet {
namespace {

constexpr std::string_view kDoctype = "<!DOCTYPE NETSCAPE-Bookmark-file-1>";
// Browsers pass over attributes they do not know; the viewer keeps the scroll place in this one.
constexpr std::string_view kScrollAttribute = "TOMELET_SCROLL";
constexpr std::uintmax_t kLargestFile = 16 * 1024 * 1024;

std::optional<char32_t> NumericReference(std::string_view digits) {
  const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
  std::uint32_t value = 0;
  const auto* first = digits.data() + (hex ? 1 : 0);
  const auto [end, error] =
      std::from_chars(first, digits.data() + digits.size(), value, hex ? 16 : 10);
  if (error != std::errc() || end != digits.data() + digits.size() || value == 0 ||
      value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return std::nullopt;
  return static_cast<char32_t>(value);
}

// Character references that browsers write; any other '&' stays as it stands.
std::string Unescaped(std::string_view text) {
  static const std::map<std::string, char32_t, std::less<>> kNamed = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto semicolon = text.find(';', i);
    if (text[i] != '&' || semicolon == std::string_view::npos || semicolon - i > 10) {
      out += text[i];
      continue;
    }
    const auto name = text.substr(i + 1, semicolon - i - 1);
    std::optional<char32_t> character;
    if (name.starts_with('#'))
      character = NumericReference(name.substr(1));
    else if (const auto named = kNamed.find(name); named != kNamed.end())
      character = named->second;
    if (!character) {
      out += text[i];
      continue;
    }
    AppendUtf8(out, *character);
    i = semicolon;
  }
  return out;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The attributes of a tag's inside ("A HREF="x" ADD_DATE=1"), by their folded names.
std::map<std::string, std::string> Attributes(std::string_view tag) {
  std::map<std::string, std::string> attributes;
  std::size_t i = tag.find_first_of(" \t\r\n");
  while (i < tag.size()) {
    while (i < tag.size() && IsSpace(tag[i]))
      ++i;
    const auto nameEnd = std::min(tag.find_first_of("= \t\r\n", i), tag.size());
    const auto name = FoldAscii(tag.substr(i, nameEnd - i));
    i = nameEnd;
    while (i < tag.size() && IsSpace(tag[i]))
      ++i;
    std::string_view value;
    if (i < tag.size() && tag[i] == '=') {
      ++i;
      while (i < tag.size() && IsSpace(tag[i]))
        ++i;
      const char quote = i < tag.size() && (tag[i] == '"' || tag[i] == '\'') ? tag[i] : '\0';
      const auto start = quote ? i + 1 : i;
      const auto end = std::min(
          quote ? tag.find(quote, start) : tag.find_first_of(" \t\r\n", start), tag.size());
      value = tag.substr(start, end - start);
      i = quote ? end + 1 : end;
    }
    if (!name.empty())
      attributes.emplace(name, Unescaped(value));
  }
  return attributes;
}

std::pair<int, int> ScrollOf(std::string_view text) {
  int x = 0, y = 0;
  const auto space = text.find(' ');
  if (space == std::string_view::npos)
    return {};
  const auto xEnd = std::from_chars(text.data(), text.data() + space, x);
  const auto yEnd = std::from_chars(text.data() + space + 1, text.data() + text.size(), y);
  if (xEnd.ec != std::errc() || yEnd.ec != std::errc() || x < 0 || y < 0)
    return {};
  return {x, y};
}

TBookmark LinkOf(std::string_view tag, std::string_view title) {
  auto attributes = Attributes(tag);
  TBookmark bookmark;
  bookmark.Title = Trimmed(Unescaped(title));
  bookmark.Address = Trimmed(attributes["href"]);
  std::tie(bookmark.ScrollX, bookmark.ScrollY) = ScrollOf(attributes[FoldAscii(kScrollAttribute)]);
  const auto& added = attributes["add_date"];
  std::from_chars(added.data(), added.data() + added.size(), bookmark.AddedAt);
  return bookmark;
}

std::string_view TagName(std::string_view tag) {
  return tag.substr(0, std::min(tag.find_first_of(" \t\r\n"), tag.size()));
}

// Reads the lists after the DOCTYPE line, tag by tag.
std::vector<TBookmark> ReadLists(std::string_view text) {
  std::vector<TBookmark> bookmarks;
  int openLists = 0;
  bool sawList = false;
  for (auto at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
    if (text.substr(at).starts_with("<!--")) {
      const auto end = text.find("-->", at);
      if (end == std::string_view::npos)
        throw EBookmarkFileError("A comment of the bookmark file is not closed.");
      at = end + 3;
      continue;
    }
    const auto end = text.find('>', at);
    if (end == std::string_view::npos)
      throw EBookmarkFileError("The bookmark file ends inside a tag.");
    const auto tag = text.substr(at + 1, end - at - 1);
    const auto name = FoldAscii(TagName(tag));
    at = end + 1;
    if (name == "dl") {
      ++openLists;
      sawList = true;
    } else if (name == "/dl" && --openLists < 0) {
      throw EBookmarkFileError("The bookmark file closes a list it never opened.");
    } else if (name == "a") {
      std::size_t close = at;
      while ((close = text.find("</", close)) != std::string_view::npos &&
             !EqualsFoldedAscii(text.substr(close, 4), "</a>"))
        ++close;
      if (close == std::string_view::npos)
        throw EBookmarkFileError("A link of the bookmark file is not closed.");
      bookmarks.push_back(LinkOf(tag, text.substr(at, close - at)));
      at = close + 4;
    }
  }
  if (!sawList || openLists != 0)
    throw EBookmarkFileError("The bookmark file ends before its lists do.");
  return bookmarks;
}

}  // namespace

std::string FormatBookmarkFile(std::span<const TBookmark> bookmarks) {
  std::ostringstream text;
  text << kDoctype << "\n"
       << "<!-- The reader's bookmarks of one document, kept by tomelet-viewer. -->\n"
       << "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
       << "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n";
  for (const TBookmark& bookmark : bookmarks) {
    text << "    <DT><A HREF=\"" << HtmlEscaped(bookmark.Address) << "\" ADD_DATE=\""
         << bookmark.AddedAt << "\" " << kScrollAttribute << "=\"" << bookmark.ScrollX << ' '
         << bookmark.ScrollY << "\">" << HtmlEscaped(bookmark.Title) << "</A>\n";
  }
  text << "</DL><p>\n";
  return text.str();
}

std::vector<TBookmark> ParseBookmarkFile(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3);
  text = Trimmed(text);
  if (!StartsWithFoldedAscii(text, kDoctype))
    throw EBookmarkFileError("This is not a bookmark file: it does not begin with " +
                             std::string(kDoctype) + ".");
  return ReadLists(text.substr(kDoctype.size()));
}

std::vector<TBookmark> ReadBookmarkFile(const std::filesystem::path& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error)
    throw EBookmarkFileError("Cannot read " + file.string() + ": " + error.message() + ".");
  if (size > kLargestFile)
    throw EBookmarkFileError(file.string() + " is too large for a bookmark file.");
  const auto text = ReadSmallFile(file, kLargestFile);
  if (!text)
    throw EBookmarkFileError("Cannot read " + file.string() + ".");
  return ParseBookmarkFile(*text);
}

}  // namespace tomelet
