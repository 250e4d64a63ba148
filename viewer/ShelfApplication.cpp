#include "viewer/ShelfApplication.h"

#include <gtkmm.h>

#include <iostream>
#include <memory>

#include "shelf/ShelfRequest.h"
#include "shelf/window/ShelfWindow.h"
#include "viewer/ColourScheme.h"

namespace tomelet {
namespace {

constexpr const char* kApplicationId = "org.tomelet.Library";

class TShelfApplication {
 public:
  TShelfApplication()
      : application_(
            Gtk::Application::create(kApplicationId, Gio::APPLICATION_HANDLES_COMMAND_LINE)) {
    application_->signal_command_line().connect(
        [this](const Glib::RefPtr<Gio::ApplicationCommandLine>& line) { return Take(line); },
        false);
  }

  int Run(int argc, char** argv) { return application_->run(argc, argv); }

 private:
  // Every start's command line reaches the first one, which carries it out; a mistake is told on
  // the terminal of the start that made it.
  int Take(const Glib::RefPtr<Gio::ApplicationCommandLine>& line) {
    int argc = 0;
    char** argv = line->get_arguments(argc);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    g_strfreev(argv);
    const auto request = shelf::ReadShelfRequest(arguments);
    if (!request.Mistake.empty()) {
      line->printerr("tomelet-viewer: " + request.Mistake + "\n");
      return 2;
    }
    Carry(request);
    return 0;
  }

  void Carry(const shelf::TShelfRequest& request) {
    if (!window_) {
      FollowDesktopColourScheme();
      auto folders = shelf::StandardShelfFolders();
      folders.insert(folders.end(), request.Folders.begin(), request.Folders.end());
      window_ = std::make_unique<shelf::TShelfWindow>(std::make_unique<shelf::TShelf>(
          folders, shelf::DefaultSettingsFile(), shelf::InstalledBookPlaces()));
      application_->add_window(*window_);
      window_->RestoreTabs();
    } else {
      for (const auto& folder : request.Folders)
        window_->Shelf().ShowFolder(folder);
    }
    if (request.Search)
      window_->SearchFor(*request.Search);
    window_->present();
  }

  Glib::RefPtr<Gtk::Application> application_;
  std::unique_ptr<shelf::TShelfWindow> window_;
};

}  // namespace

int RunShelfApplication(int argc, char** argv) {
  TShelfApplication application;
  return application.Run(argc, argv);
}

}  // namespace tomelet
