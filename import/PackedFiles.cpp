// Archives of files read with libarchive (zip, tar and its compressions), and the folders and
// names every reader shares.
#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "import/Readers.h"
#include "platform/text/HtmlEscapes.h"
#include "search/SearchIndex.h"

namespace tomelet::importer {
namespace {

using TArchive = std::unique_ptr<archive, decltype(&archive_read_free)>;

TArchive OpenPacked(const std::filesystem::path& source) {
  TArchive packed(archive_read_new(), &archive_read_free);
  // Only the filters libarchive runs itself: with all of them, a stranger's file could make it
  // start an outside decompressor program.
  archive_read_support_filter_gzip(packed.get());
  archive_read_support_filter_bzip2(packed.get());
  archive_read_support_filter_xz(packed.get());
  archive_read_support_filter_lzma(packed.get());
  archive_read_support_filter_zstd(packed.get());
  archive_read_support_filter_compress(packed.get());
  archive_read_support_format_zip(packed.get());
  archive_read_support_format_tar(packed.get());
  archive_read_support_format_gnutar(packed.get());
  if (archive_read_open_filename(packed.get(), source.c_str(), 1 << 16) != ARCHIVE_OK)
    throw std::runtime_error(archive_error_string(packed.get()) ? archive_error_string(packed.get())
                                                                : "not an archive");
  return packed;
}

[[noreturn]] void Damaged(archive* packed) {
  const char* reason = archive_error_string(packed);
  throw std::runtime_error(std::string("the archive is damaged: ") +
                           (reason ? reason : "it ends too soon"));
}

void ForEachEntry(const std::filesystem::path& source,
                  const std::function<void(archive*, archive_entry*)>& visit) {
  const TArchive packed = OpenPacked(source);
  archive_entry* entry = nullptr;
  for (;;) {
    const int status = archive_read_next_header(packed.get(), &entry);
    if (status == ARCHIVE_EOF)
      return;
    if (status < ARCHIVE_WARN)
      Damaged(packed.get());
    if (archive_entry_filetype(entry) == AE_IFREG)
      visit(packed.get(), entry);
  }
}

}  // namespace

void ForEachPackedFile(
    const std::filesystem::path& source,
    const std::function<void(std::string_view name, std::span<const std::byte> bytes)>& visit) {
  std::vector<std::byte> bytes;
  ForEachEntry(source, [&](archive* packed, archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    bytes.clear();
    std::byte block[1 << 16];
    for (;;) {
      const la_ssize_t count = archive_read_data(packed, block, sizeof block);
      if (count < 0)
        Damaged(packed);
      if (count == 0)
        break;
      if (bytes.size() + static_cast<std::size_t>(count) > kLargestSourceFile)
        throw std::runtime_error(std::string("\"") + (name ? name : "") +
                                 "\" expands to more than " +
                                 std::to_string(kLargestSourceFile >> 20) + " MiB");
      bytes.insert(bytes.end(), block, block + count);
    }
    visit(name ? name : "", bytes);
  });
}

std::vector<std::string> PackedFileNames(const std::filesystem::path& source) {
  std::vector<std::string> names;
  ForEachEntry(source, [&](archive*, archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    names.emplace_back(name ? name : "");
  });
  return names;
}

std::string InsideName(std::string_view name) {
  while (name.starts_with("./") || name.starts_with("/"))
    name.remove_prefix(name.front() == '/' ? 1 : 2);
  std::size_t begin = 0;
  while (begin <= name.size()) {
    const std::size_t end = std::min(name.find('/', begin), name.size());
    if (name.substr(begin, end - begin) == "..")
      throw std::runtime_error("the name \"" + std::string(name) +
                               "\" leads outside the container");
    begin = end + 1;
  }
  return std::string(name);
}

std::string TwoLetterLanguage(std::string_view code) {
  static const std::pair<std::string_view, std::string_view> kThreeLetters[] = {
      {"eng", "en"}, {"deu", "de"}, {"ger", "de"}, {"fra", "fr"}, {"fre", "fr"}, {"spa", "es"},
      {"ita", "it"}, {"nld", "nl"}, {"dut", "nl"}, {"por", "pt"}, {"rus", "ru"}, {"swe", "sv"},
      {"dan", "da"}, {"nor", "no"}, {"fin", "fi"}, {"hun", "hu"}, {"tur", "tr"}, {"ron", "ro"}};
  for (const auto& [three, two] : kThreeLetters) {
    if (code == three)
      return std::string(two);
  }
  return std::string(code);
}

std::vector<std::string> FilesBelow(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
    if (item.is_regular_file())
      names.push_back(item.path().lexically_relative(folder).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::byte> ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + file.string());
  std::vector<std::byte> bytes;
  std::byte block[1 << 16];
  while (in.read(reinterpret_cast<char*>(block), sizeof block) || in.gcount() > 0) {
    if (bytes.size() > kLargestSourceFile)
      throw std::runtime_error(file.string() + " is larger than " +
                               std::to_string(kLargestSourceFile >> 20) + " MiB");
    bytes.insert(bytes.end(), block, block + in.gcount());
  }
  return bytes;
}

void GiveFolder(const std::filesystem::path& folder, ISourceSink& sink) {
  for (const std::string& name : FilesBelow(folder))
    sink.Page(name, ReadFileBytes(folder / name));
}

std::size_t CountHtmlPages(const std::vector<std::string>& names) {
  return static_cast<std::size_t>(std::count_if(
      names.begin(), names.end(), [](const auto& name) { return search::IsHtmlPageName(name); }));
}

std::string ForwardingPage(std::string_view link, std::string_view title) {
  const std::string escaped = HtmlEscaped(link);
  return "<!DOCTYPE html><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"0; url=" +
         escaped + "\"><a href=\"" + escaped + "\">" + HtmlEscaped(title) + "</a>";
}

}  // namespace tomelet::importer
