// The viewer's message boxes, password prompt and open dialog, the desktop shell, and the
// pictures compiled into the program.
#pragma once

#include <gtkmm.h>

#include <span>
#include <string>

#include "Unit1/MainWindowView.h"
#include "WebHost/WebHost.h"

namespace tomelet {

class TDialogs final : public IDialogs {
 public:
  // Boxes are kept above the owner while it is on screen.
  void SetOwner(Gtk::Window* owner) { owner_ = owner; }
  // The caption of the standard error box, which follows the page title.
  void SetApplicationTitle(const std::string& title) { applicationTitle_ = title; }

  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;
  std::string AskPassword(const std::string& caption, const std::string& prompt) override;
  std::optional<std::string> ChooseDocument() override;
  bool ConfirmWarning(const std::string& caption, const std::string& text) override;
  std::optional<std::string> ImportSource(const std::string& source,
                                          const std::string& path) override;
  // Asks whether to save a file the page cannot show or open it with the desktop's program.
  TDownloadChoice AskDownload(const std::string& name);
  // A Save dialog offering the file's name; nothing when cancelled.
  std::optional<std::string> ChooseSaveFile(const std::string& name);

 private:
  void ShowMessage(const std::string& caption, const std::string& text, Gtk::MessageType type);
  void Place(Gtk::Window& dialog) const;

  Gtk::Window* owner_ = nullptr;
  std::string applicationTitle_{kApplicationTitle};
};

// Hands files, folders and URIs to the desktop's default programs. While a test trace is
// written, requests are only recorded there, so tests never start desktop programs.
class TDesktopShell final : public IShell {
 public:
  void Open(const std::string& pathOrUri) override;
};

// A 32 by 32 picture of the program's own set ("back", "back-disabled", "logo", ...).
Glib::RefPtr<Gdk::Pixbuf> ProgramPicture(const std::string& name);
// The picture of an icon file (a document's logo), scaled down to at most size pixels; null when
// its images cannot be decoded.
Glib::RefPtr<Gdk::Pixbuf> IconPicture(std::span<const std::byte> icon, int size);

}  // namespace tomelet
