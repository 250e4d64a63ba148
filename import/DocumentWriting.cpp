// Pages go to the archive writer, the index builder and the map builder as they come, so a
// document is read once, whatever its source.
#include "import/DocumentWriting.h"

#include <algorithm>
#include <future>
#include <set>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "document/DocumentEntries.h"
#include "platform/text/AsciiCase.h"
#include "search/DocumentIndex.h"
#include "search/HtmlText.h"
#include "search/SearchIndex.h"

namespace tomelet::importer {
namespace {

// Page titles by page, from the keywords found in the pages (each carries its page's title).
std::unordered_map<std::string, std::string> TitlesOfPages(const TKeywordIndex& found) {
  std::unordered_map<std::string, std::string> titles;
  for (const TKeyword& keyword : found.All())
    titles.emplace(keyword.Page, keyword.PageTitle);
  return titles;
}

}  // namespace

TProjectOptions UsableWindowOptions() {
  TProjectOptions options;
  options.SetIntegerAt(option_offset::WindowWidth, 1024);
  options.SetIntegerAt(option_offset::WindowHeight, 768);
  options.SetIntegerAt(option_offset::WindowBorder, 2);
  for (const std::size_t flag :
       {option_offset::CenterWindow, option_offset::ShowToolBar, option_offset::ShowButtonCaptions,
        option_offset::ShowStatusBar, option_offset::AllowCopy, option_offset::AllowFind,
        option_offset::AllowPrint, option_offset::AllowFontSize})
    options.SetBooleanAt(flag, true);
  return options;
}

std::string GuessStartPage(const std::vector<std::string>& names) {
  for (const char* index : {"index.htm", "index.html"}) {
    for (const std::string& name : names) {
      if (EqualsFoldedAscii(name, index))
        return name;
    }
  }
  const std::string* only = nullptr;
  for (const std::string& name : names) {
    const std::string folded = FoldAscii(name);
    if (folded.find_first_of("/\\") == std::string::npos &&
        (folded.ends_with(".htm") || folded.ends_with(".html"))) {
      if (only)
        return {};
      only = &name;
    }
  }
  return only ? *only : std::string();
}

struct TDocumentWriting::Impl {
  TFileCompressionLevel Level;
  // One deflating thread per core; the document's bytes do not depend on the count.
  TZLBArchiveWriter Writer{{.Threads = std::max(1u, std::thread::hardware_concurrency())}};
  search::TDocumentMapBuilder Map;
  std::optional<std::vector<TKeyword>> Keywords;
  // After the map: its threads hand the pages they read to the map, so it stops first.
  std::unique_ptr<search::TIndexBuilder> Index;

  explicit Impl(const TWritingSettings& settings)
      : Level(settings.Level), Map(settings.StartPagePath) {}
};

TDocumentWriting::TDocumentWriting(const TWritingSettings& settings)
    : impl_(std::make_unique<Impl>(settings)) {
  if (settings.Index) {
    // Each page is parsed once, by the index's threads, which pass it on to the map.
    impl_->Index = std::make_unique<search::TIndexBuilder>(
        search::TIndexSettings{settings.Language, settings.PageCount},
        [&map = impl_->Map](std::uint64_t number, std::string_view path,
                            const search::TPageText& text) {
          map.AddPageText(number, path, text);
        });
  }
}

TDocumentWriting::~TDocumentWriting() = default;

void TDocumentWriting::ReadPage(std::string_view archivePath, std::span<const std::byte> bytes) {
  const std::string_view html(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (impl_->Index && search::IsHtmlPageName(archivePath)) {
    impl_->Map.AddPagePath(archivePath);
    impl_->Index->AddPage(archivePath, html);
  } else {
    impl_->Map.AddPage(archivePath, html);
  }
}

void TDocumentWriting::AddFile(std::string_view archivePath, std::span<const std::byte> bytes) {
  ReadPage(archivePath, bytes);
  impl_->Writer.AddEntry(archivePath, bytes, impl_->Level);
}

void TDocumentWriting::AddFile(std::string_view archivePath, std::vector<std::byte>&& bytes) {
  ReadPage(archivePath, bytes);
  impl_->Writer.AddEntry(archivePath, std::move(bytes), impl_->Level);
}

void TDocumentWriting::AddUnlistedFile(std::string_view archivePath,
                                       std::span<const std::byte> bytes) {
  impl_->Writer.AddEntry(archivePath, bytes, impl_->Level);
}

void TDocumentWriting::SetContents(TContents contents) {
  impl_->Map.SetContents(std::move(contents));
}

void TDocumentWriting::SetKeywords(std::vector<TKeyword> keywords) {
  impl_->Keywords = std::move(keywords);
}

void TDocumentWriting::Finish(const TProjectOptions& options, std::span<const std::byte> logo,
                              const search::TPageReader& readPage, const std::string& out,
                              const std::string& stub) {
  auto& writer = impl_->Writer;
  writer.AddEntry(kConfigEntry, options.Bytes(), impl_->Level);
  if (!logo.empty())
    writer.AddEntry(kLogoEntry, logo, impl_->Level);
  // The contents are found while the index's threads read the last pages; once every page has
  // been handed to the map, the map is made while the index is merged.
  impl_->Map.FindContents(readPage);
  std::future<std::vector<std::byte>> merging;
  if (impl_->Index) {
    impl_->Index->FinishPages();
    merging = std::async(std::launch::async, [this] { return impl_->Index->Finish(); });
  }
  TDocumentMap map = impl_->Map.Finish(readPage);
  if (impl_->Keywords) {
    const auto titles = TitlesOfPages(map.Keywords);
    std::vector<TKeyword> keywords = std::move(*impl_->Keywords);
    for (TKeyword& keyword : keywords) {
      const auto title = titles.find(keyword.Page);
      if (keyword.PageTitle.empty() && title != titles.end())
        keyword.PageTitle = title->second;
    }
    // A heading found at the very place a given keyword names adds nothing but a second entry.
    std::set<std::tuple<std::string, std::string, std::string>> given;
    for (const TKeyword& keyword : keywords)
      given.emplace(keyword.Page, keyword.Anchor, keyword.Term);
    for (TKeyword& found : map.Keywords.All()) {
      if (found.Kind != TKeywordKind::Definition &&
          !given.contains({found.Page, found.Anchor, found.Term}))
        keywords.push_back(std::move(found));
    }
    map.Keywords = TKeywordIndex(std::move(keywords));
  }
  writer.AddEntry(kMapEntry, std::string_view(WriteMapEntry(map)), impl_->Level);
  if (impl_->Index) {
    // Stored, never deflated: the index is opened in place inside the document.
    writer.AddEntry(kIndexEntry, merging.get(), fcNone);
  }
  WriteDocument(writer, out, stub);
}

}  // namespace tomelet::importer
