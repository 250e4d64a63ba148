#include <algorithm>
#include <array>
#include <utility>

#include "Unit1/Form1Logic.h"
#include "Unit1/SourceImport.h"
#include "document/Document.h"
#include "document/DocumentFile.h"

namespace tomelet {
namespace {

constexpr std::string_view kRegisterError = "Error registering Pluggable Protocol";
constexpr std::string_view kOptionsError = "Error reading project options";
constexpr std::string_view kScrollBarsError = "Can not change Scrollbars option";
constexpr std::string_view kNavigationError = "Webbrowser Navigation error";
constexpr std::string_view kIconInvalid = "Icon image is not valid";
constexpr std::size_t kIconHeaderSize = 6;

}  // namespace

std::string ArgumentExtension(std::string_view argument) {
  const auto dot = argument.rfind('.');
  if (dot == std::string_view::npos)
    return {};
  const auto separator = argument.find_last_of("\\/:");
  if (separator != std::string_view::npos && separator > dot)
    return {};
  return std::string(argument.substr(dot));
}

void CheckIconHeader(std::span<const std::byte> icon) {
  if (icon.size() < kIconHeaderSize)
    throw EReadError();
  const auto type = std::to_integer<unsigned>(icon[2]) | std::to_integer<unsigned>(icon[3]) << 8;
  if (type != 0 && type != 1)
    throw std::runtime_error(std::string(kIconInvalid));
}

TWindowBorder BorderFromCode(std::int32_t code) {
  switch (code) {
    case 0:
      return TWindowBorder::None;
    case 1:
      return TWindowBorder::SingleNoMaximise;
    case 2:
      return TWindowBorder::Sizeable;
    case 3:
      return TWindowBorder::NoneMaximised;
    default:
      return TWindowBorder::Design;
  }
}

TForm1Logic::TForm1Logic(IMainWindowView& view, IDialogs& dialogs, IShell& shell,
                         IWebBrowserHost& webBrowser, IProtocolSession& protocol, TZLBArc2& arc,
                         TCommandLine commandLine)
    : view_(view),
      dialogs_(dialogs),
      webBrowser_(webBrowser),
      protocol_(protocol),
      arc_(arc),
      commandLine_(std::move(commandLine)),
      navigationPolicy_(projectOptions_, shell) {
  ConfigureArchive();
  ConnectBrowserEvents();
}

// The window's own archive settings. Pages are read entry by entry as they are asked for, so the
// start does not read the whole document to check its checksum.
void TForm1Logic::ConfigureArchive() {
  arc_.MaxMemoryUsage = 128;
  arc_.CompressionLevel = fcFastest;
  arc_.ExtractWithPath = true;
  arc_.VerifyArchiveCRC = false;
  arc_.SavePaths = true;
}

void TForm1Logic::FormCreate() {
  optionsStream_.Clear();
  RegisterProtocol();
  if (!OpenDocument())
    return;
  ReadProjectOptions();
  const auto userAgent = projectOptions_.BrowserUserAgent();
  if (!userAgent.empty())
    protocol_.SetUserAgent(userAgent);
  if (!PasswordAccepted()) {
    view_.Terminate();
    return;
  }
  if (projectOptions_.AllowFind()) {
    documentSearch_ =
        std::make_unique<TDocumentSearch>(document_, projectOptions_.StartPageOption());
    documentMap_ =
        std::make_unique<TDocumentMapLoader>(document_, projectOptions_.StartPageOption());
  }
  RecallPlace();
  ApplyWindowOptions();
  RecallBookmarks();
  ApplyRememberedPlace();
  ApplyScrollBarOption();
  LoadLogo();
  NavigateToStartPage();
}

void TForm1Logic::RegisterProtocol() {
  try {
    protocol_.Register();
  } catch (const std::exception&) {
    dialogs_.ShowInformation(std::string(kRegisterError));
  }
}

// The reader opens the file once; the window's document handle shares its descriptor.
bool TForm1Logic::OpenDocument() {
  try {
    arc_.OpenArchive(commandLine_.ExecutablePath);
    document_ = ShareDocument(arc_);
    return true;
  } catch (const std::exception&) {
    // A viewer without an appended document looks at its command line next.
  }
  const auto fileName = DocumentFileName();
  if (!fileName) {
    view_.Terminate();
    return false;
  }
  OpenExplained(*fileName, [&] { return arc_.OpenArchive(*fileName); });
  document_ = ShareDocument(arc_);
  return true;
}

std::optional<std::string> TForm1Logic::DocumentFileName() {
  const auto& arguments = commandLine_.Arguments;
  if (arguments.size() != 1)
    return dialogs_.ChooseDocument();
  if (ArgumentExtension(arguments.front()) == kDocumentExtension)
    return arguments.front();
  if (IsImportableSource(arguments.front()))
    return ImportedDocument(arguments.front());
  return std::nullopt;
}

std::optional<std::string> TForm1Logic::ImportedDocument(const std::string& source) {
  const auto path = ImportedDocumentPath(source);
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error))
    return path.string();
  std::filesystem::create_directories(path.parent_path(), error);
  if (const auto failure = dialogs_.ImportSource(source, path.string())) {
    dialogs_.ShowInformation(*failure);
    return std::nullopt;
  }
  return path.string();
}

void TForm1Logic::ReadProjectOptions() {
  try {
    arc_.ExtractToStream(optionsStream_, std::string(kConfigEntry));
    optionsStream_.SetPosition(0);
    std::array<std::byte, TProjectOptions::kSize> record{};
    const auto count = optionsStream_.Read(record);
    projectOptions_.Read(std::span(record).first(count));
  } catch (const std::exception&) {
    dialogs_.ShowInformation(std::string(kOptionsError));
  }
}

bool TForm1Logic::PasswordAccepted() {
  const auto stored = projectOptions_.AccessPassword();
  if (stored.empty())
    return true;
  const auto typed =
      dialogs_.AskPassword(std::string(kPasswordCaption), std::string(kPasswordPrompt));
  return PasswordMatches(typed, stored);
}

void TForm1Logic::ApplyWindowOptions() {
  view_.SetOuterSize(projectOptions_.WindowWidth(), projectOptions_.WindowHeight());
  if (projectOptions_.CenterWindow())
    view_.CenterOnDesktop();
  startUrl_ = tomelet::StartUrl(projectOptions_.StartPageOption());
  view_.SetToolBarVisible(projectOptions_.ShowToolBar());
  view_.SetButtonCaptionsShown(projectOptions_.ShowButtonCaptions());
  view_.SetStatusBarVisible(projectOptions_.ShowStatusBar());
  view_.SetBorder(BorderFromCode(projectOptions_.WindowBorder()));
  view_.SetEnabled(TFormControl::CopytoClipboard1, projectOptions_.AllowCopy());
  view_.SetEnabled(TFormControl::Print1, projectOptions_.AllowPrint());
  view_.SetEnabled(TFormControl::ButtonPrint, projectOptions_.AllowPrint());
  view_.SetEnabled(TFormControl::Search1, projectOptions_.AllowFind());
  view_.SetEnabled(TFormControl::ButtonSearch, projectOptions_.AllowFind());
  view_.SetEnabled(TFormControl::DocumentSearch1, projectOptions_.AllowFind());
  view_.SetEnabled(TFormControl::ButtonDocumentSearch, projectOptions_.AllowFind());
  view_.SetEnabled(TFormControl::ButtonSidePane, projectOptions_.AllowFind());
  view_.SetEnabled(TFormControl::ButtonFont, projectOptions_.AllowFontSize());
}

void TForm1Logic::ApplyScrollBarOption() {
  if (!projectOptions_.NoScrollBars())
    return;
  try {
    auto options = webBrowser_.UserInterfaceOptions();
    options.Include(TUserInterfaceOption::DontUseScrollBars);
    webBrowser_.SetUserInterfaceOptions(options);
  } catch (const std::exception&) {
    dialogs_.ShowInformation(std::string(kScrollBarsError));
  }
}

void TForm1Logic::LoadLogo() {
  if (projectOptions_.LogoSource().empty())
    return;
  optionsStream_.Clear();
  arc_.ExtractToStream(optionsStream_, std::string(kLogoEntry));
  optionsStream_.SetPosition(0);
  CheckIconHeader(optionsStream_.Bytes());
  view_.SetLogo(optionsStream_.Bytes());
}

void TForm1Logic::NavigateToStartPage() {
  const auto page = PageToOpen(rememberedPlace_, startUrl_, [this](const std::string& address) {
    return DocumentHasPage(address);
  });
  if (page != startUrl_ && rememberedPlace_)
    pendingScroll_ = {rememberedPlace_->ScrollX, rememberedPlace_->ScrollY};
  try {
    const auto history = RecalledHistory();
    if (history.empty() || !view_.ResumeHistory(history, page))
      webBrowser_.Navigate(page);
  } catch (const std::exception&) {
    dialogs_.ShowInformation(std::string(kNavigationError));
  }
}

void TForm1Logic::FormClose() {
  RememberPlace();
  RememberHistory();
  docCompleted_ = false;
  webBrowser_.Navigate(std::string(kBlankUrl));
  const auto deadline = Clock() + CloseWaitLimit;
  while (!docCompleted_ && Clock() < deadline) {
    view_.ProcessMessages();
    if (!docCompleted_)
      view_.Sleep(CloseWaitStep);
  }
}

void TForm1Logic::FormDestroy() {
  optionsStream_.Clear();
  document_.reset();
  arc_.CloseArchive();
  protocol_.Unregister();
}

void TForm1Logic::WebBrowser1DocumentComplete(const std::string& url) {
  docCompleted_ = true;
  if (!std::exchange(firstPageLoaded_, true))
    PrepareMapOnceLoaded();
  if (pendingScroll_ && HasDocumentPrefix(url)) {
    view_.ScrollPage(pendingScroll_->first, pendingScroll_->second);
    pendingScroll_.reset();
  }
}

}  // namespace tomelet
