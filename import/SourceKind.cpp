// Sources are told apart by their signatures: "ITSF" for CHM, ZIM's magic number, a zip whose
// first entry is "mimetype" holding the EPUB type, gzip holding XML for a Devhelp book, and a
// folder by the files that make a docset or a book.
#include <zlib.h>

#include <array>
#include <fstream>

#include "import/DevhelpBook.h"
#include "import/Import.h"

namespace tomelet::importer {
namespace {

namespace fs = std::filesystem;

std::string FirstBytes(const fs::path& file, std::size_t count) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  return bytes;
}

std::string FirstInflatedBytes(const fs::path& file, std::size_t count) {
  gzFile in = gzopen(file.c_str(), "rb");
  if (in == nullptr)
    return {};
  std::string bytes(count, '\0');
  const int read = gzread(in, bytes.data(), static_cast<unsigned>(count));
  gzclose(in);
  bytes.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  return bytes;
}

// An XML file whose first element is a book; a page that merely mentions one is not.
bool IsXmlBook(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  const std::size_t book = text.find("<book");
  return first != std::string_view::npos && text.substr(first).starts_with("<") &&
         book != std::string_view::npos &&
         text.substr(0, book).find("<html") == std::string_view::npos;
}

TSourceFormat FolderFormat(const fs::path& folder) {
  std::error_code error;
  if (fs::is_regular_file(folder / "Contents/Resources/docSet.dsidx", error))
    return TSourceFormat::Docset;
  for (const auto& item : fs::directory_iterator(folder, error)) {
    if (item.is_regular_file(error) && IsDevhelpBookName(item.path()))
      return TSourceFormat::Devhelp;
  }
  return TSourceFormat::Unknown;
}

}  // namespace

TSourceFormat RecogniseSource(const fs::path& source) {
  std::error_code error;
  if (fs::is_directory(source, error))
    return FolderFormat(source);
  const std::string head = FirstBytes(source, 512);
  if (head.starts_with("ITSF"))
    return TSourceFormat::Chm;
  if (head.starts_with(std::string_view("ZIM\x04", 4)))
    return TSourceFormat::Zim;
  if (head.starts_with(std::string_view("PK\x03\x04", 4)))
    return head.substr(30, 8) == "mimetype" &&
                   head.find("application/epub+zip") != std::string::npos
               ? TSourceFormat::Epub
               : TSourceFormat::PackedSite;
  if (head.starts_with("\x1f\x8b"))
    return IsXmlBook(FirstInflatedBytes(source, 4096)) ? TSourceFormat::Devhelp
                                                       : TSourceFormat::PackedSite;
  if (head.starts_with("BZh") ||
      head.starts_with(std::string_view("\xFD"
                                        "7zXZ",
                                        5)) ||
      head.starts_with(std::string_view("\x28\xB5\x2F\xFD", 4)) ||
      (head.size() >= 262 && head.substr(257, 5) == "ustar"))
    return TSourceFormat::PackedSite;
  if (IsXmlBook(head))
    return TSourceFormat::Devhelp;
  return TSourceFormat::Unknown;
}

std::string_view FormatName(TSourceFormat format) {
  switch (format) {
    case TSourceFormat::Chm:
      return "CHM";
    case TSourceFormat::Zim:
      return "ZIM";
    case TSourceFormat::Epub:
      return "EPUB";
    case TSourceFormat::Docset:
      return "docset";
    case TSourceFormat::Devhelp:
      return "Devhelp book";
    case TSourceFormat::PackedSite:
      return "site archive";
    case TSourceFormat::Unknown:
      break;
  }
  return "unknown";
}

}  // namespace tomelet::importer
