#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "OurNSHandler/HandlerState.h"
#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLongestExpandedFolder = 4095;

std::string ExistingDirectoryFrom(const char* variable) {
  const char* value = std::getenv(variable);
  std::error_code error;
  if (!value || !*value || !fs::is_directory(value, error))
    return {};
  return value;
}

std::string ChosenFolder() {
  for (const char* variable : {"TMP", "TEMP", "TMPDIR"}) {
    if (auto folder = ExistingDirectoryFrom(variable); !folder.empty())
      return folder;
  }
  return "/tmp";
}

fs::path MakePrivateFolder() {
  std::string pattern = TemporaryFolder() + "tomelet-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    throw fs::filesystem_error("cannot make the private temporary folder", pattern,
                               std::error_code(errno, std::generic_category()));
  }
  return pattern;
}

// The entry's folders and file name as a relative path on disk, in UTF-8; names that are empty,
// "." or ".." would escape the folder or name no file and are refused.
fs::path RelativeFileName(const std::string& storedPath) {
  fs::path relative;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = storedPath.find_first_of("\\/", start);
    std::string_view part(storedPath.data() + start,
                          (end == std::string::npos ? storedPath.size() : end) - start);
    if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string_view::npos) {
      throw ETempFileRefused("Refused temporary file name: " + storedPath);
    }
    relative /= DisplayText(part);
    if (end == std::string::npos)
      return relative;
    start = end + 1;
  }
}

// Creates the file exclusively, so an existing one (made by this run for the same entry) is
// never overwritten. Anything else by that name (a folder of another entry) is an error.
void WriteFileOnce(const fs::path& name, std::span<const std::byte> contents) {
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    int error = errno;
    if (error == EEXIST && fs::is_regular_file(fs::symlink_status(name)))
      return;
    throw fs::filesystem_error("cannot create temporary file", name,
                               std::error_code(error, std::generic_category()));
  }
  std::size_t written = 0;
  while (written < contents.size()) {
    ssize_t count = write(fd, contents.data() + written, contents.size() - written);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0) {
      std::error_code error(count < 0 ? errno : ENOSPC, std::generic_category());
      close(fd);
      unlink(name.c_str());
      throw fs::filesystem_error("cannot write temporary file", name, error);
    }
    written += static_cast<std::size_t>(count);
  }
  if (close(fd) != 0) {
    std::error_code error(errno, std::generic_category());
    unlink(name.c_str());
    throw fs::filesystem_error("cannot write temporary file", name, error);
  }
}

}  // namespace

std::string TemporaryFolder() {
  std::string folder = ChosenFolder();
  std::error_code error;
  fs::path expanded = fs::absolute(folder, error).lexically_normal();
  if (!error && expanded.native().size() <= kLongestExpandedFolder)
    folder = expanded.native();
  if (folder.back() != '/')
    folder += '/';
  return folder;
}

std::string ExtractToTempFile(THandlerState& state, const std::string& storedPath,
                              std::span<const std::byte> contents) {
  fs::path relative = RelativeFileName(storedPath);
  if (state.privateFolder.empty())
    state.privateFolder = MakePrivateFolder();
  fs::path name = state.privateFolder / relative;
  fs::create_directories(name.parent_path());
  WriteFileOnce(name, contents);
  return name.native();
}

void DeleteTempFiles(THandlerState& state) {
  for (const std::string& name : state.tempFileList)
    unlink(name.c_str());
  if (!state.privateFolder.empty()) {
    std::error_code ignored;
    fs::remove_all(state.privateFolder, ignored);
  }
}

}  // namespace tomelet
