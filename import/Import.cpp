// The parent's side of an import: the reader runs in a child and its output is replayed here
// into the one writer, checked as the stranger's data it is.
#include "import/Import.h"

#include <sys/stat.h>

#include <algorithm>
#include <unordered_map>

#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "import/DevhelpBook.h"
#include "import/DocumentWriting.h"
#include "import/Readers.h"
#include "import/SourceStream.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"
#include "platform/text/PercentEscapes.h"
#include "search/SearchIndex.h"

namespace tomelet::importer {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kExpansionFloor = std::uint64_t{64} << 20;
constexpr std::uint64_t kExpansionFactor = 100;
// The start page and pages that may hold the table of contents are kept for finding it.
constexpr std::size_t kMostKeptBytes = std::size_t{64} << 20;

fs::path BookIndexFile(const fs::path& source) {
  if (!fs::is_directory(source))
    return source;
  for (const auto& item : fs::directory_iterator(source)) {
    if (IsDevhelpBookName(item.path()))
      return item.path();
  }
  return source;
}

std::string ArchivePathOf(std::string_view path) {
  std::string archivePath(path);
  std::replace(archivePath.begin(), archivePath.end(), '/', '\\');
  return archivePath;
}

// "" when the name can be stored; else why not.
std::string Unstorable(const std::string& archivePath) {
  const std::size_t slash = archivePath.rfind('\\');
  const std::size_t folder = slash == std::string::npos ? 0 : slash + 1;
  if (archivePath.empty() || archivePath.back() == '\\')
    return "an empty name";
  if (archivePath.size() - folder > 255 || folder > 255)
    return "a name longer than 255 bytes";
  if (folder == 0 && IsReservedEntry(archivePath))
    return "a name the document keeps for itself";
  return {};
}

// A PNG up to 256 pixels square as the one image of an icon file, as icons may hold them.
std::vector<std::byte> IconOf(std::span<const std::byte> image) {
  const auto at = [&image](std::size_t i) { return static_cast<unsigned char>(image[i]); };
  if (image.size() >= 6 && at(0) == 0 && at(1) == 0 && at(2) == 1 && at(3) == 0)
    return {image.begin(), image.end()};
  const bool png = image.size() > 24 && at(1) == 'P' && at(2) == 'N' && at(3) == 'G';
  if (!png)
    return {};
  const std::uint32_t width = at(16) << 24 | at(17) << 16 | at(18) << 8 | at(19);
  const std::uint32_t height = at(20) << 24 | at(21) << 16 | at(22) << 8 | at(23);
  if (width == 0 || height == 0 || width > 256 || height > 256)
    return {};
  const auto size = static_cast<std::uint32_t>(image.size());
  const unsigned char header[22] = {0,
                                    0,
                                    1,
                                    0,
                                    1,
                                    0,
                                    static_cast<unsigned char>(width & 0xFF),
                                    static_cast<unsigned char>(height & 0xFF),
                                    0,
                                    0,
                                    1,
                                    0,
                                    32,
                                    0,
                                    static_cast<unsigned char>(size & 0xFF),
                                    static_cast<unsigned char>((size >> 8) & 0xFF),
                                    static_cast<unsigned char>((size >> 16) & 0xFF),
                                    static_cast<unsigned char>(size >> 24),
                                    22,
                                    0,
                                    0,
                                    0};
  std::vector<std::byte> icon(reinterpret_cast<const std::byte*>(header),
                              reinterpret_cast<const std::byte*>(header) + sizeof header);
  icon.insert(icon.end(), image.begin(), image.end());
  return icon;
}

class TImportingSink final : public ISourceSink {
 public:
  explicit TImportingSink(const TImportSettings& settings) : settings_(settings) {}

  void Begin(const TSourceFacts& facts) override {
    if (writing_)
      throw std::runtime_error("the reader began twice");
    facts_ = facts;
    writing_ = std::make_unique<TDocumentWriting>(TWritingSettings{
        .Level = settings_.Level,
        .Index = settings_.Index,
        .Language = settings_.Language.empty() ? facts.Language : settings_.Language,
        .PageCount = facts.PageCount,
        .StartPagePath = ArchivePathOf(facts.StartPage)});
  }

  void Page(std::string_view path, std::span<const std::byte> bytes) override;

  void Logo(std::span<const std::byte> image) override { logo_ = IconOf(image); }

  void Map(TContents contents, std::vector<TKeyword> keywords) override {
    Started();
    ResolvePages(contents);
    for (TKeyword& keyword : keywords)
      keyword.Page = Resolved(keyword.Page);
    if (!contents.empty())
      writing_->SetContents(std::move(contents));
    if (!keywords.empty())
      writing_->SetKeywords(std::move(keywords));
  }

  void Finish(const std::string& out) {
    Started();
    TProjectOptions options = UsableWindowOptions();
    options.SetShortStringAt(option_offset::StartPage, TopStartPage());
    if (!logo_.empty())
      options.SetShortStringAt(option_offset::LogoSource, "logo.ico");
    writing_->Finish(
        options, logo_,
        [this](std::string_view page) -> std::optional<std::string> {
          const auto found = kept_.find(FoldAscii(page));
          return found == kept_.end() ? std::nullopt : std::optional(found->second);
        },
        out);
  }

 private:
  void Started() const {
    if (!writing_)
      throw std::runtime_error("the reader gave pages before its facts");
  }

  // The viewer opens the start page's file name at the top of the document, so a start page in
  // a folder is reached through a page at the top that leads on to it.
  std::string TopStartPage() {
    const std::string start = Resolved(facts_.StartPage);
    if (start.find('/') == std::string::npos)
      return start.size() <= 255 ? start : "";
    for (const char* name : {"index.html", "index.htm", "start.html"}) {
      if (names_.contains(name))
        continue;
      const std::string page =
          ForwardingPage(PercentEncoded(start, "/#"), facts_.Title.empty() ? start : facts_.Title);
      writing_->AddUnlistedFile(name,
                                {reinterpret_cast<const std::byte*>(page.data()), page.size()});
      return name;
    }
    return {};
  }

  // The stored name a link of the source's map means: letter case ignored, and a name written
  // in UTF-8 by the map but in Windows-1252 by the files found too.
  std::string Resolved(const std::string& page) const {
    auto found = names_.find(FoldAscii(page));
    if (found == names_.end()) {
      if (const auto legacy = Utf8ToWindows1252(page))
        found = names_.find(FoldAscii(*legacy));
    }
    return found == names_.end() ? page : found->second;
  }

  void ResolvePages(TContents& items) const {
    for (TContentsItem& item : items) {
      if (!item.Page.empty())
        item.Page = Resolved(item.Page);
      ResolvePages(item.Children);
    }
  }

  bool MayHoldContents(const std::string& folded) const {
    const std::string name = folded.substr(folded.rfind('/') + 1);
    return folded == FoldAscii(facts_.StartPage) || name.find("content") != std::string::npos ||
           name.find("toc") != std::string::npos || name.starts_with("index.");
  }

  const TImportSettings& settings_;
  TSourceFacts facts_;
  std::unique_ptr<TDocumentWriting> writing_;
  std::unordered_map<std::string, std::string> names_;  // folded "/" path -> stored "/" path
  std::unordered_map<std::string, std::string> kept_;
  std::size_t keptBytes_ = 0;
  std::size_t pagesDone_ = 0;
  std::vector<std::byte> logo_;
};

void TImportingSink::Page(std::string_view path, std::span<const std::byte> bytes) {
  Started();
  const std::string name = InsideName(path);
  const std::string archivePath = ArchivePathOf(name);
  if (const std::string reason = Unstorable(archivePath); !reason.empty()) {
    if (settings_.Warn)
      settings_.Warn("skipped \"" + name + "\": " + reason);
    return;
  }
  const std::string folded = FoldAscii(name);
  if (!names_.emplace(folded, name).second)
    return;
  writing_->AddFile(archivePath, bytes);
  if (search::IsHtmlPageName(name)) {
    if (MayHoldContents(folded) && keptBytes_ + bytes.size() <= kMostKeptBytes) {
      kept_[folded].assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      keptBytes_ += bytes.size();
    }
    ++pagesDone_;
    if (settings_.Progress)
      settings_.Progress(pagesDone_, std::max(pagesDone_, facts_.PageCount));
  }
}

int RunReader(const fs::path& source, TSourceFormat format, int output) {
  try {
    const auto sink = FramingSink(output);
    ReadSource(source, format, *sink);
    return 0;
  } catch (const std::exception& e) {
    try {
      SendFailure(output, e.what());
    } catch (const std::exception&) {
    }
    return 1;
  }
}

}  // namespace

std::uint64_t SourceSize(const fs::path& source) {
  std::error_code error;
  if (!fs::is_directory(source, error))
    return fs::file_size(source, error);
  std::uint64_t total = 0;
  for (const auto& item : fs::recursive_directory_iterator(source, error)) {
    if (item.is_regular_file(error))
      total += item.file_size(error);
  }
  return total;
}

void ReadSource(const fs::path& source, TSourceFormat format, ISourceSink& sink) {
  switch (format) {
    case TSourceFormat::Chm:
      return ReadChm(source, sink);
    case TSourceFormat::Zim:
      return ReadZim(source, sink);
    case TSourceFormat::Epub:
      return ReadEpub(source, sink);
    case TSourceFormat::Docset:
      return ReadDocsetFolder(source, sink);
    case TSourceFormat::Devhelp:
      return ReadDevhelp(BookIndexFile(source), sink);
    case TSourceFormat::PackedSite:
      return ReadPackedSite(source, sink);
    case TSourceFormat::Unknown:
      break;
  }
  throw std::runtime_error("not a source this program imports");
}

void ImportDocument(const fs::path& source, const std::string& out,
                    const TImportSettings& settings) {
  const std::string name = source.string();
  std::error_code error;
  if (!fs::exists(source, error))
    throw EImportError(name + ": no such file or folder");
  const TSourceFormat format = RecogniseSource(source);
  if (format == TSourceFormat::Unknown)
    throw EImportError(name + ": not a CHM, ZIM, EPUB, docset, Devhelp book or site archive");
  CheckOutputTarget(out);
  TImportingSink sink(settings);
  try {
    TBoundedChild child([&](int output) { return RunReader(source, format, output); }, {});
    ReplayFrames(child, sink,
                 {.TotalBytes = kExpansionFloor + kExpansionFactor * SourceSize(source)});
    if (child.Finish() != 0)
      throw std::runtime_error("the reader ended unexpectedly");
    sink.Finish(out);
  } catch (const EImportError&) {
    throw;
  } catch (const std::exception& e) {
    throw EImportError(name + ": " + e.what());
  }
}

}  // namespace tomelet::importer
