// Makes tomelet-viewer the program that opens ".tlt" files for the current user, and takes that
// back: a desktop entry, a MIME type for "*.tlt" and their icons under the user's data folder.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet {

class EDesktopIntegrationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs a helper program found on the PATH with the arguments; answers false when no such program
// is installed and raises EDesktopIntegrationError when it runs and fails.
using TToolRunner =
    std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>;
bool RunToolIfInstalled(const std::string& program, const std::vector<std::string>& arguments);

// $XDG_DATA_HOME when it holds an absolute path, else $HOME/.local/share.
std::filesystem::path UserDataHome();

// The desktop entry that opens a file with this executable.
std::string DesktopEntryFor(const std::filesystem::path& executable);

// Writes the desktop entry, the MIME type and the icons, then refreshes the MIME and desktop
// databases when their tools are installed.
void RegisterDesktopIntegration(const std::filesystem::path& dataHome,
                                const std::filesystem::path& executable, const TToolRunner& run);
// Removes what registering wrote (files already gone are fine) and refreshes the databases.
void UnregisterDesktopIntegration(const std::filesystem::path& dataHome, const TToolRunner& run);

// The "REGSERVER" and "UNREGSERVER" start modes: 0 on success, 1 after a message on stderr.
int RunDesktopIntegration(bool install, const std::filesystem::path& executable);

}  // namespace tomelet
