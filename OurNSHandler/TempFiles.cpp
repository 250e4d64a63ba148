#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "OurNSHandler/HandlerState.h"
#include "platform/files/TemporaryFolder.h"
#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLongestExpandedFolder = 4095;

fs::path MakePrivateFolder() {
  std::string pattern = TemporaryFolder() + "tomelet-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    throw fs::filesystem_error("cannot make the private temporary folder", pattern,
                               std::error_code(errno, std::generic_category()));
  }
  return pattern;
}

constexpr std::size_t kLongestFileName = 255;

// Cuts a name to the file system's limit on a character boundary, keeping a short extension, so
// the default program still recognises the file.
std::string ShortenedName(std::string name) {
  if (name.size() <= kLongestFileName)
    return name;
  const auto dot = name.rfind('.');
  const std::string extension =
      dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : std::string();
  std::size_t keep = kLongestFileName - extension.size();
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
    --keep;
  return name.substr(0, keep) + extension;
}

// The entry's own file name as a name on disk, in UTF-8. Stored names may hold what no file name
// can ("", ".", "..", a NUL), which still must give a file.
std::string FileNameOnDisk(std::string_view storedPath) {
  const auto separator = storedPath.find_last_of("\\/");
  std::string name = DisplayText(
      separator == std::string_view::npos ? storedPath : storedPath.substr(separator + 1));
  std::replace(name.begin(), name.end(), '\0', '_');
  if (name.empty() || name == "." || name == "..")
    name = "entry" + name;
  return ShortenedName(std::move(name));
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
  std::string folder = TemporaryFolderPath().native();
  std::error_code error;
  fs::path expanded = fs::absolute(folder, error).lexically_normal();
  if (!error && expanded.native().size() <= kLongestExpandedFolder)
    folder = expanded.native();
  if (folder.back() != '/')
    folder += '/';
  return folder;
}

// Each entry gets a numbered folder of its own below the private folder, so names that clash as
// folders (a file and a folder of one name, empty or dotted folder names) never meet on disk.
std::string ExtractToTempFile(THandlerState& state, const std::string& storedPath,
                              std::span<const std::byte> contents) {
  if (state.privateFolder.empty())
    state.privateFolder = MakePrivateFolder();
  const std::string key = FoldArchivePath(storedPath);
  auto made = state.tempFileOfEntry.find(key);
  if (made == state.tempFileOfEntry.end()) {
    const auto folder = state.privateFolder / std::to_string(state.tempFileOfEntry.size() + 1);
    fs::create_directory(folder);
    made = state.tempFileOfEntry.emplace(key, (folder / FileNameOnDisk(storedPath)).native()).first;
  }
  WriteFileOnce(made->second, contents);
  return made->second;
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
