// Program entry of tomelet-viewer: the handler's module, the start mode, the class objects, the
// main window and its message loop, then the clean-up of the run in reverse order.
#include <gtkmm.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "OurNSHandler/OurNSHandler.h"
#include "Unit1/ProgramStart.h"
#include "Unit1/window/Form1.h"
#include "WebHost/WebHost.h"
#include "platform/com/ComServer.h"
#include "search/SoundIndexes.h"
#include "shelf/ShelfRequest.h"
#include "viewer/ColourScheme.h"
#include "viewer/DesktopIntegration.h"
#include "viewer/ShelfApplication.h"
#include "viewer/ViewerApplication.h"

namespace {

constexpr const char* kUsage =
    "Usage: tomelet-viewer [DOCUMENT.tlt | SOURCE]\n"
    "       tomelet-viewer --library [FOLDER...] [--search QUERY]\n"
    "       tomelet-viewer /regserver | /unregserver\n"
    "       tomelet-viewer --help | --version\n"
    "\n"
    "Shows a Tomelet document in a window: the document appended to this program, else the\n"
    "DOCUMENT.tlt named as the one argument (\".tlt\" in lower case), else a SOURCE (a CHM,\n"
    "ZIM, EPUB or docset) imported once into the cache, else one chosen in an open dialog. Any\n"
    "other single argument ends the program at once.\n"
    "\n"
    "  --library     the shelf: the documents of the shelf folders and of each FOLDER in one\n"
    "                window, with tabs and one search; a second start hands its request to the\n"
    "                running shelf and returns at once\n"
    "  --search      the shelf with QUERY searched; a sole keyword equal to it opens at once\n"
    "  /regserver    open .tlt files with this program for the current user, and exit\n"
    "  /unregserver  remove what /regserver wrote, and exit\n"
    "  --help        print this text and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "See tomelet-viewer(1).\n";

// "--help" and "--version" answer only as the one argument, on standard output; true when one
// of them has answered.
bool AnsweredInformationSwitch(const std::vector<std::string>& arguments) {
  if (arguments == std::vector<std::string>{"--version"}) {
    std::cout << "tomelet-viewer " TOMELET_VERSION "\n";
    return true;
  }
  if (arguments == std::vector<std::string>{"--help"}) {
    std::cout << kUsage;
    return true;
  }
  return false;
}

std::string OwnExecutable() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

int RunViewer(int argc, char** argv) {
  using namespace tomelet;
  TOurNSHandlerModule handlerModule;
  const std::vector<std::string> rawArguments(argv + 1, argv + argc);
  if (AnsweredInformationSwitch(rawArguments))
    return std::cout.flush() ? 0 : 1;
  PrepareEngineProcess();
  search::PrepareStructureChecks();
  if (shelf::ReadShelfRequest(rawArguments).Shelf)
    return RunShelfApplication(argc, argv);
  const auto mode = StartModeFromArguments(rawArguments);
  if (mode == TStartMode::RegServer || mode == TStartMode::UnregServer)
    return RunDesktopIntegration(mode == TStartMode::RegServer, OwnExecutable());
  if (FAILED(RegisterClassObjects())) {
    std::cerr << "tomelet-viewer: the class objects could not be registered\n";
    return 1;
  }

  gtk_init(&argc, &argv);
  Gtk::Main::init_gtkmm_internals();
  g_set_application_name(std::string(kApplicationTitle).c_str());
  Gtk::Window::set_default_icon(ProgramPicture("tomelet-viewer"));
  FollowDesktopColourScheme();

  TZLBArc2 arc;
  TProtocolSession protocol(handlerModule, arc);
  TViewerApplication application;
  TForm1 form(application, protocol, arc,
              {OwnExecutable(), std::vector<std::string>(argv + 1, argv + argc)});
  form.Create();
  if (!form.Terminated()) {
    form.show();
    application.Run();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return RunViewer(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "tomelet-viewer: " << failure.what() << '\n';
    return 1;
  } catch (const Glib::Error& failure) {
    std::cerr << "tomelet-viewer: " << failure.what() << '\n';
    return 1;
  }
}
