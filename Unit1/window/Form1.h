// The main window of a document opened by itself: one document page, the window shaped by the
// document's options.
#pragma once

#include <gtkmm.h>

#include "Unit1/window/DocumentPage.h"
#include "platform/files/InstanceSlot.h"

namespace tomelet {

class TForm1 final : public Gtk::Window, public IPageFrame {
 public:
  TForm1(IApplication& application, IProtocolSession& protocol, TZLBArc2& arc,
         TCommandLine commandLine);

  // Runs the start-up; afterwards Terminated() says whether the program is to end at once.
  void Create();
  bool Terminated() const { return terminated_; }

  Gtk::Window& Window() override { return *this; }
  TDialogs& Dialogs() override { return dialogs_; }
  void SetOuterSize(int width, int height) override;
  void CenterOnDesktop() override;
  void SetBorder(TWindowBorder border) override;
  void SetCaption(const std::string& text) override;
  std::optional<std::pair<int, int>> WindowSize() override;
  bool IsFullScreen() const override { return fullScreen_; }
  void ToggleFullScreen() override;
  void Close() override;
  void Terminate() override;
  bool EscapeExits() const override { return true; }

 protected:
  bool on_delete_event(GdkEventAny* event) override;
  bool on_key_press_event(GdkEventKey* key) override;
  bool on_key_release_event(GdkEventKey* key) override;
  bool on_window_state_event(GdkEventWindowState* event) override;
  void on_realize() override;
  void on_show() override;

 private:
  void ApplySize();
  void ApplyWindowFunctions();
  void Place();

  IApplication& application_;
  TDialogs dialogs_;
  // Which of the document windows open at once this is, so that they do not cover each other.
  TInstanceSlot slot_{"document-window"};
  TDocumentPage page_;
  int width_ = 667, height_ = 461;
  TWindowBorder border_ = TWindowBorder::Design;
  bool terminated_ = false;
  bool closing_ = false;
  bool fullScreen_ = false;
};

}  // namespace tomelet
