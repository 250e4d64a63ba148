#include "viewer/DesktopIntegration.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "platform/files/UserFolders.h"
#include "platform/text/Codepage.h"
#include "viewer/DesktopResources.h"

extern char** environ;

namespace tomelet {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDesktopEntryName = "tomelet-viewer.desktop";
constexpr std::string_view kMimePackageName = "tomelet.xml";
constexpr std::string_view kProgramIconName = "tomelet-viewer.svg";
constexpr std::string_view kDocumentIconName = "application-x-tomelet.svg";

struct TInstalledFile {
  fs::path RelativePath;
  std::string_view Contents;
};

fs::path IconFolder(std::string_view context) {
  return fs::path("icons") / "hicolor" / "scalable" / context;
}

std::vector<TInstalledFile> InstalledFiles(const std::string& desktopEntry) {
  return {
      {fs::path("applications") / kDesktopEntryName, desktopEntry},
      {fs::path("mime") / "packages" / kMimePackageName, kMimePackage},
      {IconFolder("apps") / kProgramIconName, kProgramIcon},
      {IconFolder("mimetypes") / kDocumentIconName, kDocumentIcon},
  };
}

// One argument of an Exec key: quoted, with the characters that quoting leaves special escaped,
// then escaped once more as the key's string value requires.
std::string ExecArgument(std::string_view path) {
  if (!IsValidUtf8(path)) {
    throw EDesktopIntegrationError(
        "The program's path is not UTF-8 and cannot stand in a desktop entry");
  }
  std::string quoted = "\"";
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw EDesktopIntegrationError(
          "The program's path holds a control character and cannot stand in a desktop entry");
    }
    if (c == '"' || c == '`' || c == '$' || c == '\\') {
      quoted += '\\';
    }
    quoted += c == '%' ? "%%" : std::string(1, c);
  }
  quoted += '"';
  std::string escaped;
  for (const char c : quoted) {
    escaped += c == '\\' ? "\\\\" : std::string(1, c);
  }
  return escaped;
}

void WriteAtomically(const fs::path& path, std::string_view contents) {
  fs::create_directories(path.parent_path());
  const fs::path partial = path.string() + ".partial";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    file.close();
    if (!file) {
      throw EDesktopIntegrationError("Could not write " + partial.string());
    }
  }
  fs::rename(partial, path);
}

void RefreshDatabases(const fs::path& dataHome, const TToolRunner& run) {
  if (fs::is_directory(dataHome / "mime")) {
    run("update-mime-database", {(dataHome / "mime").string()});
  }
  if (fs::is_directory(dataHome / "applications")) {
    run("update-desktop-database", {(dataHome / "applications").string()});
  }
}

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!folders.empty()) {
    const auto colon = folders.find(':');
    const auto folder = folders.substr(0, colon);
    const fs::path candidate = fs::path(folder.empty() ? "." : folder) / program;
    if (::access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) {
      return candidate.string();
    }
    folders = colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
  }
  return {};
}

}  // namespace

bool RunToolIfInstalled(const std::string& program, const std::vector<std::string>& arguments) {
  const std::string found = FindOnPath(program);
  if (found.empty()) {
    return false;
  }
  std::vector<std::string> words{found};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    throw EDesktopIntegrationError("Could not start " + program);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw EDesktopIntegrationError(program + " failed");
  }
  return true;
}

fs::path UserDataHome() {
  auto dataHome = UserFolder(TUserFolder::Data);
  if (dataHome.empty()) {
    throw EDesktopIntegrationError("Neither XDG_DATA_HOME nor HOME is set");
  }
  return dataHome;
}

std::string DesktopEntryFor(const fs::path& executable) {
  std::string entry(kDesktopEntryTemplate);
  constexpr std::string_view kExecKey = "\nExec=";
  const auto key = entry.find(kExecKey);
  const auto start = key + kExecKey.size();
  const auto end = entry.find(' ', start);
  entry.replace(start, end - start, ExecArgument(executable.string()));
  return entry;
}

void RegisterDesktopIntegration(const fs::path& dataHome, const fs::path& executable,
                                const TToolRunner& run) {
  if (!executable.is_absolute()) {
    throw EDesktopIntegrationError("The program's own path is not known");
  }
  const std::string entry = DesktopEntryFor(executable);
  for (const auto& file : InstalledFiles(entry)) {
    WriteAtomically(dataHome / file.RelativePath, file.Contents);
  }
  RefreshDatabases(dataHome, run);
}

void UnregisterDesktopIntegration(const fs::path& dataHome, const TToolRunner& run) {
  for (const auto& file : InstalledFiles({})) {
    fs::remove(dataHome / file.RelativePath);
  }
  RefreshDatabases(dataHome, run);
}

int RunDesktopIntegration(bool install, const fs::path& executable) {
  try {
    if (install) {
      RegisterDesktopIntegration(UserDataHome(), executable, RunToolIfInstalled);
    } else {
      UnregisterDesktopIntegration(UserDataHome(), RunToolIfInstalled);
    }
    return 0;
  } catch (const std::exception& failure) {
    std::cerr << "tomelet-viewer: " << failure.what() << '\n';
    return 1;
  }
}

}  // namespace tomelet
