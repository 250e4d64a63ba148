// A ZIM file read with libzim: every entry of its content, redirects as small pages that lead on,
// the main page, title, language and illustration. It carries no table of contents or index of
// its own, so both are found in the pages.
#include <zim/archive.h>
#include <zim/error.h>
#include <zim/item.h>

#include <stdexcept>

#include "import/DocumentWriting.h"
#include "import/Readers.h"
#include "platform/text/PercentEscapes.h"

namespace tomelet::importer {
namespace {

// The target as a link from the redirect's folder.
std::string RelativeLink(const std::string& from, const std::string& to) {
  std::string link;
  for (const char c : from.substr(0, from.rfind('/') + 1)) {
    if (c == '/')
      link += "../";
  }
  return link + to;
}

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

std::string Metadata(const zim::Archive& archive, const char* name) {
  try {
    return archive.getMetadata(name);
  } catch (const zim::EntryNotFound&) {
    return {};
  }
}

void GiveEntries(const zim::Archive& archive, ISourceSink& sink) {
  for (const zim::Entry& entry : archive.iterByPath()) {
    const std::string path = InsideName(entry.getPath());
    if (entry.isRedirect()) {
      const std::string target = RelativeLink(path, entry.getRedirectEntry().getPath());
      sink.Page(path, Bytes(ForwardingPage(PercentEncoded(target, "/#"), entry.getTitle())));
      continue;
    }
    const zim::Item item = entry.getItem();
    if (item.getSize() > kLargestSourceFile)
      throw std::runtime_error("\"" + path + "\" is larger than " +
                               std::to_string(kLargestSourceFile >> 20) + " MiB");
    const zim::Blob data = item.getData();
    sink.Page(path, {reinterpret_cast<const std::byte*>(data.data()), data.size()});
  }
}

}  // namespace

void ReadZim(const std::filesystem::path& source, ISourceSink& sink) {
  try {
    const zim::Archive archive(source.string());
    std::string start;
    if (archive.hasMainEntry())
      start = archive.getMainEntry().getItem(true).getPath();
    std::vector<std::string> names;
    for (const zim::Entry& entry : archive.iterByPath())
      names.push_back(entry.getPath());
    if (start.empty())
      start = GuessStartPage(names);
    const std::size_t pages = CountHtmlPages(names);
    sink.Begin({start, Metadata(archive, "Title"), TwoLetterLanguage(Metadata(archive, "Language")),
                pages});
    GiveEntries(archive, sink);
    if (archive.hasIllustration(48)) {
      const zim::Blob icon = archive.getIllustrationItem(48).getData();
      sink.Logo({reinterpret_cast<const std::byte*>(icon.data()), icon.size()});
    }
    sink.Map({}, {});
  } catch (const zim::ZimFileFormatError& e) {
    throw std::runtime_error(std::string("not a sound ZIM file: ") + e.what());
  } catch (const std::out_of_range& e) {
    throw std::runtime_error(std::string("the ZIM file is damaged: ") + e.what());
  }
}

}  // namespace tomelet::importer
