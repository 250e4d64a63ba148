// A CHM file read with chmlib: its files, and from #SYSTEM its title, default topic, language and
// the names of its .hhc contents and .hhk index, both sitemaps of <object> links. Their texts
// are in the file's Windows code page when they are not UTF-8.
#include <chm_lib.h>

#include <memory>
#include <stdexcept>
#include <unordered_set>

#include "import/DocumentWriting.h"
#include "import/Readers.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"
#include "search/ContentsFinder.h"
#include "search/DocumentMapBuilder.h"
#include "search/HtmlText.h"
#include "search/SearchIndex.h"

namespace tomelet::importer {
namespace {

using TChm = std::unique_ptr<chmFile, decltype(&chm_close)>;

std::optional<std::string> Object(chmFile* chm, const std::string& path) {
  chmUnitInfo unit{};
  if (chm_resolve_object(chm, path.c_str(), &unit) != CHM_RESOLVE_SUCCESS)
    return std::nullopt;
  if (unit.length > kLargestSourceFile)
    throw std::runtime_error("\"" + path + "\" is larger than " +
                             std::to_string(kLargestSourceFile >> 20) + " MiB");
  std::string bytes(static_cast<std::size_t>(unit.length), '\0');
  const auto read = chm_retrieve_object(chm, &unit, reinterpret_cast<unsigned char*>(bytes.data()),
                                        0, static_cast<LONGINT64>(unit.length));
  if (read != static_cast<LONGINT64>(unit.length))
    throw std::runtime_error("\"" + path + "\" is damaged: it does not decompress");
  return bytes;
}

struct TSystem {
  std::string Contents;
  std::string Index;
  std::string Topic;
  std::string Title;
  std::uint32_t Locale = 0;
};

std::string CString(std::string_view data) {
  return std::string(data.substr(0, data.find('\0')));
}

std::string Utf8(const std::string& text) {
  return IsValidUtf8(text) ? text : Windows1252ToUtf8(text);
}

// Records of a code and a length after a 4-byte version; a record that runs past the end ends
// the reading.
TSystem ReadSystem(chmFile* chm) {
  TSystem system;
  const auto bytes = Object(chm, "/#SYSTEM");
  if (!bytes)
    return system;
  const std::string_view data(*bytes);
  const auto number = [&data](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at]) |
                                      static_cast<unsigned char>(data[at + 1]) << 8);
  };
  for (std::size_t at = 4; at + 4 <= data.size();) {
    const std::uint32_t code = number(at);
    const std::size_t length = number(at + 2);
    if (at + 4 + length > data.size())
      break;
    const std::string_view value = data.substr(at + 4, length);
    if (code == 0)
      system.Contents = CString(value);
    else if (code == 1)
      system.Index = CString(value);
    else if (code == 2)
      system.Topic = CString(value);
    else if (code == 3)
      system.Title = Utf8(CString(value));
    else if (code == 4 && length >= 4)
      system.Locale = number(at + 4) | number(at + 6) << 16;
    at += 4 + length;
  }
  return system;
}

std::string LocaleLanguage(std::uint32_t locale) {
  static const std::pair<std::uint32_t, const char*> kPrimary[] = {
      {0x09, "en"}, {0x07, "de"}, {0x0c, "fr"}, {0x0a, "es"}, {0x10, "it"},
      {0x13, "nl"}, {0x16, "pt"}, {0x19, "ru"}, {0x1d, "sv"}, {0x06, "da"},
      {0x14, "no"}, {0x0b, "fi"}, {0x0e, "hu"}, {0x1f, "tr"}, {0x18, "ro"}};
  for (const auto& [primary, code] : kPrimary) {
    if ((locale & 0x3FF) == primary)
      return code;
  }
  return {};
}

int CollectName(chmFile*, chmUnitInfo* unit, void* context) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(unit->path);
  return CHM_ENUMERATOR_CONTINUE;
}

std::vector<std::string> FileNames(chmFile* chm) {
  std::vector<std::string> names;
  chm_enumerate(chm, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, CollectName, &names);
  return names;
}

// The sitemap's links lead into the file itself ("ms-its:lcl.chm::/forms/tform.html").
std::string WithoutStorePrefixes(std::string text) {
  for (const std::string_view scheme : {"ms-its:", "mk:@MSITStore:", "its:"}) {
    for (std::size_t at = 0;
         (at = FoldAscii(text).find(FoldAscii(scheme), at)) != std::string::npos;) {
      const std::size_t colons = text.find("::", at);
      const std::size_t quote = text.find_first_of("\"'", at);
      if (colons == std::string::npos || colons > quote)
        break;
      const std::size_t end = text.compare(colons + 2, 1, "/") == 0 ? colons + 3 : colons + 2;
      text.erase(at, end - at);
    }
  }
  return text;
}

TContents Sitemap(chmFile* chm, const std::string& name) {
  if (name.empty())
    return {};
  const auto text = Object(chm, "/" + name);
  if (!text)
    return {};
  try {
    return search::ReadContentsFile(WithoutStorePrefixes(Utf8(*text)));
  } catch (const EDocumentMapError&) {
    return {};
  }
}

// A nested entry reads as in a printed index: "PixelsPerInch, TForm".
void AddIndexItems(const TContents& items, const std::string& parent,
                   std::vector<TKeyword>& keywords) {
  for (const TContentsItem& item : items) {
    const std::string term = parent.empty() ? item.Title : parent + ", " + item.Title;
    if (!item.Page.empty())
      keywords.push_back({term, item.Page, item.Anchor, "", TKeywordKind::Definition});
    AddIndexItems(item.Children, term, keywords);
  }
}

// The first file whose name ends with the extension, for files whose #SYSTEM names no sitemap.
std::string FirstWithExtension(const std::vector<std::string>& names, std::string_view extension) {
  for (const std::string& name : names) {
    if (FoldAscii(name).ends_with(extension))
      return name.substr(1);
  }
  return {};
}

// Gives every file of the CHM once: those its directory listing names, then those the pages, the
// contents and the index link to that the listing missed. Some compilers write a listing whose
// first block is not the first, so that a walk along it starts half-way; a lookup by name finds
// every file whatever the listing says.
class TFileWalk {
 public:
  TFileWalk(chmFile* chm, const std::vector<std::string>& listed) : chm_(chm) {
    for (const std::string& name : listed)
      Add(name);
  }

  // path: "/" between folders, relative to the top.
  void Follow(const std::string& path) {
    if (path.empty() || seen_.contains(FoldAscii("/" + path)))
      return;
    chmUnitInfo unit{};
    if (chm_resolve_object(chm_, ("/" + path).c_str(), &unit) == CHM_RESOLVE_SUCCESS)
      Add(unit.path);
  }

  void GiveAll(ISourceSink& sink) {
    for (std::size_t next = 0; next < queue_.size(); ++next) {
      const std::string name = queue_[next];
      const auto bytes = Object(chm_, name);
      if (!bytes)
        throw std::runtime_error("\"" + name + "\" is listed but cannot be found");
      const std::string inside = InsideName(name);
      if (search::IsHtmlPageName(inside)) {
        for (const std::string& link : search::PageLinks(*bytes)) {
          const auto joined = search::JoinLink(inside, link);
          if (!joined.External)
            Follow(joined.Path);
        }
      }
      sink.Page(inside, {reinterpret_cast<const std::byte*>(bytes->data()), bytes->size()});
    }
  }

 private:
  void Add(const std::string& name) {
    if (seen_.insert(FoldAscii(name)).second)
      queue_.push_back(name);
  }

  chmFile* chm_;
  std::unordered_set<std::string> seen_;
  std::vector<std::string> queue_;
};

void AddLinks(TFileWalk& walk, const TContents& items) {
  for (const TContentsItem& item : items) {
    walk.Follow(item.Page);
    AddLinks(walk, item.Children);
  }
}

}  // namespace

void ReadChm(const std::filesystem::path& source, ISourceSink& sink) {
  const TChm chm(chm_open(source.c_str()), &chm_close);
  if (chm == nullptr)
    throw std::runtime_error("not a CHM file, or a damaged one");
  TSystem system = ReadSystem(chm.get());
  const auto names = FileNames(chm.get());
  if (system.Contents.empty())
    system.Contents = FirstWithExtension(names, ".hhc");
  if (system.Index.empty())
    system.Index = FirstWithExtension(names, ".hhk");
  std::size_t pages = 0;
  for (const std::string& name : names)
    pages += search::IsHtmlPageName(name) ? 1 : 0;
  std::string topic = system.Topic;
  while (topic.starts_with('/'))
    topic.erase(0, 1);
  if (topic.empty()) {
    std::vector<std::string> inside;
    for (const std::string& name : names)
      inside.push_back(name.substr(1));
    topic = GuessStartPage(inside);
  }
  sink.Begin({topic, system.Title, LocaleLanguage(system.Locale), pages});
  TContents contents = Sitemap(chm.get(), system.Contents);
  std::vector<TKeyword> keywords;
  AddIndexItems(Sitemap(chm.get(), system.Index), "", keywords);
  TFileWalk walk(chm.get(), names);
  walk.Follow(topic);
  AddLinks(walk, contents);
  for (const TKeyword& keyword : keywords)
    walk.Follow(keyword.Page);
  walk.GiveAll(sink);
  sink.Map(std::move(contents), std::move(keywords));
}

}  // namespace tomelet::importer
