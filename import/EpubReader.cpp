// An EPUB is a zip: META-INF/container.xml names the package document (OPF), whose metadata
// give the title and language, whose spine gives the first page, and whose nav document (EPUB 3)
// or NCX (EPUB 2) gives the contents.
#include <map>
#include <stdexcept>

#include "import/Readers.h"
#include "import/XmlTree.h"
#include "search/ContentsFinder.h"

namespace tomelet::importer {
namespace {

using TFiles = std::map<std::string, std::vector<std::byte>>;

std::string_view Text(const std::vector<std::byte>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

const std::vector<std::byte>& Required(const TFiles& files, const std::string& name) {
  const auto found = files.find(name);
  if (found == files.end())
    throw std::runtime_error("the book has no " + name);
  return found->second;
}

// Joins href to the folder of base and folds "." and ".." the way links are resolved.
std::string Resolved(std::string_view base, std::string_view href) {
  return search::JoinLink(base, href).Path;
}

struct TManifestItem {
  std::string Path;
  std::string Type;
  std::string Properties;
};

struct TPackage {
  std::string Title;
  std::string Language;
  std::map<std::string, TManifestItem> Manifest;  // by id
  std::string FirstPage;
  std::string Nav;
  std::string Ncx;
};

TPackage ReadPackage(const std::string& opfPath, std::string_view opf) {
  const TXmlDocument xml = ParseXml(opf, opfPath);
  const xmlNode* root = xmlDocGetRootElement(xml.get());
  TPackage package;
  if (const xmlNode* title = FindElement(root, "title"))
    package.Title = XmlText(title);
  if (const xmlNode* language = FindElement(root, "language"))
    package.Language = XmlText(language);
  if (const xmlNode* manifest = FindElement(root, "manifest")) {
    ForEachChildElement(manifest, [&](const xmlNode* item) {
      TManifestItem entry{Resolved(opfPath, XmlAttribute(item, "href")),
                          XmlAttribute(item, "media-type"), XmlAttribute(item, "properties")};
      if (entry.Properties.find("nav") != std::string::npos)
        package.Nav = entry.Path;
      if (entry.Type == "application/x-dtbncx+xml")
        package.Ncx = entry.Path;
      package.Manifest[XmlAttribute(item, "id")] = std::move(entry);
    });
  }
  if (const xmlNode* spine = FindElement(root, "spine")) {
    ForEachChildElement(spine, [&](const xmlNode* itemref) {
      const auto item = package.Manifest.find(XmlAttribute(itemref, "idref"));
      if (package.FirstPage.empty() && item != package.Manifest.end() &&
          XmlAttribute(itemref, "linear") != "no")
        package.FirstPage = item->second.Path;
    });
  }
  return package;
}

TContents NavPoints(const xmlNode* parent, const std::string& ncxPath) {
  TContents items;
  ForEachChildElement(parent, [&](const xmlNode* point) {
    if (LocalName(point) != "navPoint")
      return;
    const xmlNode* label = FindElement(point, "text");
    const xmlNode* content = FindElement(point, "content");
    const auto link = search::JoinLink(ncxPath, content ? XmlAttribute(content, "src") : "");
    items.push_back(
        {label ? XmlText(label) : "", link.Path, link.Anchor, NavPoints(point, ncxPath)});
  });
  return items;
}

TContents ReadContents(const TPackage& package, const TFiles& files) {
  if (!package.Nav.empty() && files.contains(package.Nav)) {
    const search::TLinkResolver any = [](std::string_view path) { return std::string(path); };
    const auto trees = search::ListTrees(Text(files.at(package.Nav)), package.Nav, any);
    const search::TListTree* largest = nullptr;
    for (const auto& tree : trees) {
      if (largest == nullptr || tree.Links > largest->Links)
        largest = &tree;
    }
    if (largest != nullptr)
      return largest->Items;
  }
  if (!package.Ncx.empty() && files.contains(package.Ncx)) {
    const TXmlDocument ncx = ParseXml(Text(files.at(package.Ncx)), package.Ncx);
    if (const xmlNode* map = FindElement(xmlDocGetRootElement(ncx.get()), "navMap"))
      return NavPoints(map, package.Ncx);
  }
  return {};
}

}  // namespace

void ReadEpub(const std::filesystem::path& source, ISourceSink& sink) {
  TFiles files;
  ForEachPackedFile(source, [&files](std::string_view name, std::span<const std::byte> bytes) {
    files[InsideName(name)].assign(bytes.begin(), bytes.end());
  });
  const std::string containerName = "META-INF/container.xml";
  const TXmlDocument container = ParseXml(Text(Required(files, containerName)), containerName);
  const xmlNode* rootfile = FindElement(xmlDocGetRootElement(container.get()), "rootfile");
  const std::string opfPath = rootfile ? InsideName(XmlAttribute(rootfile, "full-path")) : "";
  if (opfPath.empty())
    throw std::runtime_error("META-INF/container.xml names no package document");
  const TPackage package = ReadPackage(opfPath, Text(Required(files, opfPath)));
  std::vector<std::string> pages;
  for (const auto& [name, bytes] : files) {
    if (name != "mimetype" && !name.starts_with("META-INF/"))
      pages.push_back(name);
  }
  sink.Begin({package.FirstPage, package.Title, package.Language, CountHtmlPages(pages)});
  for (const std::string& name : pages)
    sink.Page(name, files.at(name));
  sink.Map(ReadContents(package, files), {});
}

}  // namespace tomelet::importer
