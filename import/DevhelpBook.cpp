// Version 2 books name each keyword's kind in its type attribute; version 1 books write it into
// the name ("struct GArray", "g_array_new ()"), so the kind is read from there.
#include "import/DevhelpBook.h"

#include <zlib.h>

#include <stdexcept>

#include "import/Readers.h"
#include "import/XmlTree.h"
#include "platform/text/AsciiCase.h"

namespace tomelet::importer {
namespace {

constexpr std::size_t kLargestBook = std::size_t{64} << 20;

std::string Inflated(const std::filesystem::path& file) {
  gzFile in = gzopen(file.c_str(), "rb");
  if (in == nullptr)
    throw std::runtime_error("cannot read " + file.string());
  std::string text;
  char block[1 << 16];
  int count = 0;
  while ((count = gzread(in, block, sizeof block)) > 0) {
    text.append(block, static_cast<std::size_t>(count));
    if (text.size() > kLargestBook) {
      gzclose(in);
      throw std::runtime_error(file.string() + " inflates to more than 64 MiB");
    }
  }
  gzclose(in);
  if (count < 0)
    throw std::runtime_error(file.string() + " is damaged: it does not inflate");
  return text;
}

struct TLink {
  std::string Page;
  std::string Anchor;
};

TLink SplitLink(const std::string& link) {
  const std::size_t hash = link.find('#');
  return {link.substr(0, hash), hash == std::string::npos ? "" : link.substr(hash + 1)};
}

TContents Chapters(const xmlNode* parent) {
  TContents items;
  ForEachChildElement(parent, [&items](const xmlNode* sub) {
    if (LocalName(sub) != "sub")
      return;
    const TLink link = SplitLink(XmlAttribute(sub, "link"));
    items.push_back({XmlAttribute(sub, "name"), link.Page, link.Anchor, Chapters(sub)});
  });
  return items;
}

// "g_array_new ()" is typed "g_array_new"; "struct GArray" is the struct "GArray".
void SplitKind(std::string& term, std::string& type) {
  if (term.ends_with("()")) {
    term.erase(term.size() - 2);
    while (term.ends_with(' ') || term.ends_with("\xC2\xA0"))
      term.erase(term.size() - (term.ends_with(' ') ? 1 : 2));
    if (type.empty())
      type = "function";
  }
  for (const std::string_view kind : {"struct ", "enum ", "union ", "macro ", "typedef "}) {
    if (term.starts_with(kind)) {
      if (type.empty())
        type = kind.substr(0, kind.size() - 1);
      term.erase(0, kind.size());
    }
  }
}

std::vector<TKeyword> Keywords(const xmlNode* book) {
  std::vector<TKeyword> keywords;
  const xmlNode* functions = FindElement(book, "functions");
  if (functions == nullptr)
    return keywords;
  ForEachChildElement(functions, [&keywords](const xmlNode* item) {
    if (LocalName(item) != "keyword" && LocalName(item) != "function")
      return;
    std::string term = XmlAttribute(item, "name");
    std::string type = FoldAscii(XmlAttribute(item, "type"));
    SplitKind(term, type);
    const TLink link = SplitLink(XmlAttribute(item, "link"));
    if (!term.empty() && !link.Page.empty())
      keywords.push_back({term, link.Page, link.Anchor, "", TKeywordKind::Definition, type});
  });
  return keywords;
}

}  // namespace

bool IsDevhelpBookName(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  for (const std::string_view ending : {".devhelp2", ".devhelp", ".devhelp2.gz", ".devhelp.gz"}) {
    if (name.ends_with(ending))
      return true;
  }
  return false;
}

TDevhelpBook ReadDevhelpBook(const std::filesystem::path& indexFile) {
  const std::string text = Inflated(indexFile);
  const TXmlDocument xml = ParseXml(text, indexFile.filename().string());
  const xmlNode* book = xmlDocGetRootElement(xml.get());
  if (LocalName(book) != "book")
    throw std::runtime_error(indexFile.filename().string() + " is not a Devhelp book");
  TDevhelpBook read;
  read.Name = XmlAttribute(book, "name");
  read.Title = XmlAttribute(book, "title");
  read.Language = XmlAttribute(book, "language");
  read.StartPage = XmlAttribute(book, "link");
  // A book's base attribute could name any folder of the machine: only the pages beside it count.
  read.Folder = indexFile.parent_path();
  if (const xmlNode* chapters = FindElement(book, "chapters"))
    read.Chapters = Chapters(chapters);
  read.Keywords = Keywords(book);
  return read;
}

void ReadDevhelp(const std::filesystem::path& indexFile, ISourceSink& sink) {
  TDevhelpBook book = ReadDevhelpBook(indexFile);
  const auto names = FilesBelow(book.Folder);
  sink.Begin({SplitLink(book.StartPage).Page, book.Title, "", CountHtmlPages(names)});
  for (const std::string& name : names) {
    if (!IsDevhelpBookName(name))
      sink.Page(name, ReadFileBytes(book.Folder / name));
  }
  sink.Map(std::move(book.Chapters), std::move(book.Keywords));
}

}  // namespace tomelet::importer
