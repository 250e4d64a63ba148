// Recording stand-ins for everything the main window's logic talks to, and a fixture that writes
// real test documents.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Unit1/Form1Logic.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing {

struct FakeView : IMainWindowView {
  std::vector<std::string> calls;
  std::map<TFormControl, bool> enabled;
  std::string caption, applicationTitle, statusText;
  std::vector<std::byte> logo;
  std::optional<TWindowBorder> border;
  int width = -1, height = -1, checkedTextSize = 2, terminated = 0, closed = 0;
  std::chrono::steady_clock::time_point now{};
  std::function<void()> onProcessMessages;
  TPagePosition position;
  std::optional<std::pair<int, int>> scrolledTo, windowSize;

  void SetOuterSize(int w, int h) override {
    width = w;
    height = h;
  }
  void CenterOnDesktop() override { calls.push_back("centre"); }
  void SetBorder(TWindowBorder b) override { border = b; }
  void SetToolBarVisible(bool v) override { calls.push_back(v ? "toolbar on" : "toolbar off"); }
  void SetButtonCaptionsShown(bool v) override {
    calls.push_back(v ? "captions on" : "captions off");
  }
  void SetStatusBarVisible(bool v) override {
    calls.push_back(v ? "statusbar on" : "statusbar off");
  }
  void SetEnabled(TFormControl control, bool e) override { enabled[control] = e; }
  void SetLogo(std::span<const std::byte> icon) override { logo.assign(icon.begin(), icon.end()); }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetApplicationTitle(const std::string& text) override { applicationTitle = text; }
  void SetStatusText(const std::string& text) override { statusText = text; }
  void CheckTextSize(int size) override { checkedTextSize = size; }
  void ShowSearchBar() override { calls.push_back("search bar"); }
  void ShowSidePane(bool shown) override { calls.push_back(shown ? "side pane" : "no side pane"); }
  TPagePosition PagePosition() override { return position; }
  void ScrollPage(int x, int y) override { scrolledTo = {x, y}; }
  std::optional<std::pair<int, int>> WindowSize() override { return windowSize; }
  std::string HistoryState() override { return {}; }
  bool ResumeHistory(const std::string&, const std::string&) override { return false; }
  void Close() override { ++closed; }
  void Terminate() override { ++terminated; }
  void ProcessMessages() override {
    calls.push_back("process");
    if (onProcessMessages)
      onProcessMessages();
  }
  void Sleep(std::chrono::milliseconds duration) override { now += duration; }

  bool Called(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
};

struct FakeDialogs : IDialogs {
  std::vector<std::string> information, errors;
  std::vector<std::string> passwordRequests;  // "caption|prompt"
  std::string typedPassword;
  int documentRequests = 0;
  std::optional<std::string> chosenDocument;
  std::vector<std::string> warnings;
  bool warningAnswer = false;
  std::vector<std::string> imports;
  std::optional<std::string> importFailure;

  void ShowInformation(const std::string& text) override { information.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::string AskPassword(const std::string& caption, const std::string& prompt) override {
    passwordRequests.push_back(caption + "|" + prompt);
    return typedPassword;
  }
  std::optional<std::string> ChooseDocument() override {
    ++documentRequests;
    return chosenDocument;
  }
  std::optional<std::string> ImportSource(const std::string& source, const std::string&) override {
    imports.push_back(source);
    return importFailure;
  }
  bool ConfirmWarning(const std::string& caption, const std::string& text) override {
    warnings.push_back(caption + "|" + text);
    return warningAnswer;
  }
};

struct FakeCommandTarget : IOleCommandTarget {
  std::vector<std::uint32_t> commands;
  GUID group{};
  bool throws = false;
  HRESULT Exec(const GUID* g, std::uint32_t command, std::uint32_t, std::optional<int>) override {
    if (throws)
      throw EWebBrowserError(E_FAIL, "document refused");
    group = *g;
    commands.push_back(command);
    return S_OK;
  }
};

struct FakeBrowser : IWebBrowserHost {
  struct ExecCall {
    OLECMDID command;
    OLECMDEXECOPT option;
    std::optional<int> input;
  };
  std::vector<std::string> navigations;
  std::vector<ExecCall> execs;
  int back = 0, forward = 0;
  bool refuseNavigation = false, refuseExec = false, refuseOptions = false;
  FakeCommandTarget* document = nullptr;
  TUserInterfaceOptions options{TUserInterfaceOption::EnablesFormsAutoComplete};

  void Navigate(const std::string& url) override {
    if (refuseNavigation)
      throw EWebBrowserError(E_FAIL, "navigation refused");
    navigations.push_back(url);
  }
  void GoBack() noexcept override { ++back; }
  void GoForward() noexcept override { ++forward; }
  IOleCommandTarget* Document() override { return document; }
  void ExecWB(OLECMDID command, OLECMDEXECOPT option, std::optional<int> input) override {
    if (refuseExec)
      throw EWebBrowserError(E_FAIL, "command refused");
    execs.push_back({command, option, input});
  }
  TUserInterfaceOptions UserInterfaceOptions() const override { return options; }
  void SetUserInterfaceOptions(TUserInterfaceOptions o) override {
    if (refuseOptions)
      throw EWebBrowserError(E_FAIL, "options refused");
    options = o;
  }
  bool Silent() const override { return false; }
  void SetSilent(bool) override {}
};

struct FakeShell : IShell {
  std::vector<std::string> opened;
  void Open(const std::string& pathOrUri) override { opened.push_back(pathOrUri); }
};

struct FakeProtocol : IProtocolSession {
  int registered = 0, unregistered = 0;
  bool refuse = false;
  std::vector<std::string> userAgents;
  void Register() override {
    if (refuse)
      throw std::runtime_error("no session");
    ++registered;
  }
  void Unregister() noexcept override { ++unregistered; }
  void SetUserAgent(std::string_view agent) override { userAgents.emplace_back(agent); }
};

// A small valid icon file: header, one directory entry, no image data worth decoding.
inline std::string IconBytes(std::uint16_t type = 1) {
  std::string icon = {0, 0, static_cast<char>(type & 0xFF), static_cast<char>(type >> 8), 1, 0};
  icon.append(16, '\0');
  return icon;
}

// Options of a document that shows everything and asks nothing.
inline TProjectOptions FriendlyOptions() {
  return AllEnabledOptions("C:\\docs\\html\\index.htm", 800, 600);
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    // A document's map is cached as it opens: in the test's own folder, never the user's.
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    bareExecutable_ = Write("viewer",
                            "\x7f"
                            "ELF not an archive");
  }

  std::string Write(const std::string& name, const std::string& contents) {
    const auto path = folder_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
  }

  // A document of the start page alone, for tests to add options and a logo to.
  static TTestDocument Manual() {
    TTestDocument manual;
    manual.Entry("index.htm", "<title>Start</title>");
    return manual;
  }
  std::string Document(const std::string& name, const TTestDocument& document) {
    return document.WriteTo(folder_ / name).string();
  }
  std::string Document(const std::string& name, const TProjectOptions& options) {
    return Document(name, Manual().Options(options));
  }

  TForm1Logic& Logic(std::vector<std::string> arguments, std::string executable = {}) {
    TCommandLine commandLine{executable.empty() ? bareExecutable_ : executable,
                             std::move(arguments)};
    logic_ =
        std::make_unique<TForm1Logic>(view, dialogs, shell, browser, protocol, arc, commandLine);
    logic_->Clock = [this] { return view.now; };
    logic_->PlaceFolder = folder_ / "state";
    logic_->BookmarkFolder = folder_ / "data";
    return *logic_;
  }

  // Starts the way the window does: an uncaught failure ends FormCreate in the error box.
  TForm1Logic& Started(const std::string& document) {
    auto& logic = Logic({document});
    logic.Guarded([&] { logic.FormCreate(); });
    return logic;
  }

  FakeView view;
  FakeDialogs dialogs;
  FakeShell shell;
  FakeBrowser browser;
  FakeProtocol protocol;
  TZLBArc2 arc;
  TScratchFolder folder_;
  std::string bareExecutable_;

 private:
  std::unique_ptr<TForm1Logic> logic_;
};

}  // namespace tomelet::testing
