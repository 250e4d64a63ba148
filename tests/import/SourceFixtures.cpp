#include "tests/import/SourceFixtures.h"

#include <archive.h>
#include <archive_entry.h>
#include <plist/plist.h>
#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>

#include "search/DocumentMapBuilder.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing {

void WritePacked(const std::filesystem::path& path, const TFiles& files, TPacking packing) {
  archive* out = archive_write_new();
  if (packing == TPacking::Zip) {
    archive_write_set_format_zip(out);
  } else {
    archive_write_set_format_pax_restricted(out);
    archive_write_add_filter_gzip(out);
  }
  archive_write_open_filename(out, path.c_str());
  std::vector<std::pair<std::string, std::string>> ordered(files.begin(), files.end());
  std::stable_partition(ordered.begin(), ordered.end(),
                        [](const auto& file) { return file.first == "mimetype"; });
  for (const auto& [name, contents] : ordered) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    if (packing == TPacking::Zip && name == "mimetype")
      archive_write_zip_set_compression_store(out);
    else if (packing == TPacking::Zip)
      archive_write_zip_set_compression_deflate(out);
    archive_write_header(out, entry);
    archive_write_data(out, contents.data(), contents.size());
    archive_entry_free(entry);
  }
  archive_write_close(out);
  archive_write_free(out);
}

TFiles EpubFiles() {
  return {
      {"mimetype", "application/epub+zip"},
      {"META-INF/container.xml",
       R"(<?xml version="1.0"?><container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles><rootfile full-path="OEBPS/book.opf" media-type="application/oebps-package+xml"/></rootfiles></container>)"},
      {"OEBPS/book.opf",
       R"(<?xml version="1.0"?><package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="id">x</dc:identifier><dc:title>Ein Buch</dc:title><dc:language>de</dc:language></metadata><manifest><item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/><item id="c1" href="text/one.xhtml" media-type="application/xhtml+xml"/><item id="c2" href="text/two.xhtml" media-type="application/xhtml+xml"/></manifest><spine><itemref idref="nav" linear="no"/><itemref idref="c1"/><itemref idref="c2"/></spine></package>)"},
      {"OEBPS/nav.xhtml",
       R"(<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><head><title>Inhalt</title></head><body><nav epub:type="toc"><ol><li><a href="text/one.xhtml">Eins</a><ol><li><a href="text/one.xhtml#mitte">Mitte</a></li></ol></li><li><a href="text/two.xhtml">Zwei</a></li><li><a href="text/two.xhtml#ende">Ende</a></li></ol></nav></body></html>)"},
      {"OEBPS/text/one.xhtml",
       R"(<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml" lang="de"><head><title>Eins</title></head><body><h1>Eins</h1><p id="mitte">Häuser und Bäume.</p><a href="two.xhtml">weiter</a></body></html>)"},
      {"OEBPS/text/two.xhtml",
       R"(<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml"><head><title>Zwei</title></head><body><h1>Zwei</h1><p id="ende">Ende.</p></body></html>)"},
  };
}

namespace {

void WriteSearchIndex(const std::filesystem::path& file,
                      const std::vector<std::array<std::string, 3>>& rows) {
  sqlite3* database = nullptr;
  sqlite3_open(file.c_str(), &database);
  sqlite3_exec(database,
               "CREATE TABLE searchIndex(id INTEGER PRIMARY KEY, name TEXT, type TEXT, path TEXT)",
               nullptr, nullptr, nullptr);
  for (const auto& row : rows) {
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database, "INSERT INTO searchIndex(name, type, path) VALUES (?, ?, ?)", -1,
                       &insert, nullptr);
    for (int i = 0; i < 3; ++i)
      sqlite3_bind_text(insert, i + 1, row[static_cast<std::size_t>(i)].c_str(), -1,
                        SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_finalize(insert);
  }
  sqlite3_close(database);
}

void WriteInfo(const std::filesystem::path& file, bool binary) {
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "CFBundleName", plist_new_string("Pythonish"));
  plist_dict_set_item(dict, "dashIndexFilePath", plist_new_string("index.html"));
  char* bytes = nullptr;
  std::uint32_t length = 0;
  if (binary)
    plist_to_bin(dict, &bytes, &length);
  else
    plist_to_xml(dict, &bytes, &length);
  WriteFile(file, std::string_view(bytes, length));
  std::free(bytes);
  plist_free(dict);
}

}  // namespace

std::filesystem::path WriteDocset(const std::filesystem::path& parent,
                                  const std::vector<std::array<std::string, 3>>& rows,
                                  const TFiles& pages, bool binaryPlist) {
  const auto docset = parent / "Pythonish.docset";
  const auto resources = docset / "Contents" / "Resources";
  std::filesystem::create_directories(resources / "Documents");
  WriteInfo(docset / "Contents" / "Info.plist", binaryPlist);
  WriteSearchIndex(resources / "docSet.dsidx", rows);
  for (const auto& [name, contents] : pages)
    WriteFile(resources / "Documents" / name, contents);
  return docset;
}

int RunQuietly(const std::string& commandLine) {
  const int status = std::system((commandLine + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) {
  return RunQuietly("command -v " + name) == 0;
}

std::string TImported::Page(std::string_view archivePath) const {
  const int index = Document->IndexOf(std::string(archivePath));
  if (index < 0)
    return {};
  const auto bytes = Document->Contents(index);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

TImported OpenImported(const std::filesystem::path& path) {
  TImported imported;
  imported.Document = OpenDocument(path.string());
  imported.Map = search::OpenDocumentMap(*imported.Document, imported.Document->StartPagePath());
  return imported;
}

}  // namespace tomelet::testing
