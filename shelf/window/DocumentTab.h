// A document in a tab of the shelf window: the same page as the document's own window, its
// requests served by a session of the tab's own, its options applied to the page alone (password,
// user agent, open-outside masks, the commands it allows), the window's size and border the
// reader's.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "OurNSHandler/OurNSHandler.h"
#include "Unit1/window/DocumentPage.h"
#include "shelf/window/ShelfFrame.h"

namespace tomelet::shelf {

// A tab's hold on the "tome" protocol: a URL session of the tab's own, the handler's module
// registered into it for the tab's archive, and the tab's view served from that session.
class TTabProtocol final : public IProtocolSession {
 public:
  explicit TTabProtocol(TZLBArc2& archive) : archive_(archive) {}
  // The view served; given once the page holding it exists, before Register.
  void Serve(TWebHost& view) { view_ = &view; }

  void Register() override;
  void Unregister() noexcept override;
  void SetUserAgent(std::string_view userAgent) override;

 private:
  TZLBArc2& archive_;
  TWebHost* view_ = nullptr;
  TOurNSHandlerModule module_;
  ComPtr<IInternetSession> session_;
  TProtocolRegistration registration_;
};

class TDocumentTab final : public Gtk::Box, public IPageFrame {
 public:
  TDocumentTab(IShelfFrame& frame, std::filesystem::path document);
  ~TDocumentTab() override;

  // Runs the document's start-up (password, options, the start page or the place the reader
  // left), then goes to address when one is given.
  void Open(const std::string& address);
  // Lets the document go as its own window does when it closes: its place is remembered.
  void Finish();

  const std::filesystem::path& Document() const { return document_; }
  TDocumentPage& Page() { return page_; }
  // The address of the page shown, with its anchor.
  std::string Address() { return page_.WebBrowser1().LocationURL(); }

  Gtk::Window& Window() override { return frame_.Window(); }
  TDialogs& Dialogs() override { return frame_.Dialogs(); }
  void SetOuterSize(int, int) override {}
  void CenterOnDesktop() override {}
  void SetBorder(TWindowBorder) override {}
  void SetCaption(const std::string& text) override;
  std::optional<std::pair<int, int>> WindowSize() override { return std::nullopt; }
  bool IsFullScreen() const override { return frame_.IsFullScreen(); }
  void ToggleFullScreen() override { frame_.ToggleFullScreen(); }
  void Close() override { frame_.CloseTab(*this); }
  void Terminate() override { frame_.CloseTab(*this); }
  bool EscapeExits() const override { return false; }

 private:
  IShelfFrame& frame_;
  std::filesystem::path document_;
  TZLBArc2 arc_;
  TTabProtocol protocol_{arc_};
  TDocumentPage page_;
  bool finished_ = false;
};

}  // namespace tomelet::shelf
