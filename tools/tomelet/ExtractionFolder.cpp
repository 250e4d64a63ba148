#include "tools/tomelet/ExtractionFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tomelet::cli {
namespace {

// Well below the usual limit of 1024 open descriptors.
constexpr std::size_t kMaxOpenFolders = 256;

[[noreturn]] void FailOn(std::string_view what, const std::filesystem::path& path) {
  throw std::runtime_error(std::string(what) + " " + path.string() + ": " + std::strerror(errno));
}

std::filesystem::path Join(const std::filesystem::path& root,
                           std::span<const std::string> components) {
  auto path = root;
  for (const auto& component : components) {
    path /= component;
  }
  return path;
}

std::string FolderKey(std::span<const std::string> folders) {
  std::string key;
  for (const auto& folder : folders) {
    key.append(folder).push_back('/');
  }
  return key;
}

// False with errno set when the system refuses the write.
bool WriteAll(int fd, std::span<const std::byte> contents) {
  while (!contents.empty()) {
    const auto written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    contents = contents.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

TDescriptor::~TDescriptor() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

TDescriptor& TDescriptor::operator=(TDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TExtractionFolder::TExtractionFolder(const std::filesystem::path& root) : root_(root) {
  std::error_code error;
  std::filesystem::create_directories(root, error);
  rootFd_ = TDescriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (rootFd_.Get() < 0) {
    FailOn("Cannot open folder", root);
  }
}

int TExtractionFolder::OpenFolder(std::span<const std::string> folders) {
  if (folders.empty()) {
    return rootFd_.Get();
  }
  auto key = FolderKey(folders);
  if (const auto found = folders_.find(key); found != folders_.end()) {
    return found->second.Get();
  }
  const int parent = OpenFolder(folders.first(folders.size() - 1));
  const auto& name = folders.back();
  if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
    FailOn("Cannot create folder", Join(root_, folders));
  }
  TDescriptor folder(
      ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.Get() < 0) {
    FailOn("Cannot open folder", Join(root_, folders));
  }
  const int fd = folder.Get();
  folders_.emplace(std::move(key), std::move(folder));
  return fd;
}

void TExtractionFolder::WriteFile(std::span<const std::string> components,
                                  std::span<const std::byte> contents) {
  if (folders_.size() >= kMaxOpenFolders) {
    folders_.clear();
  }
  const int parent = OpenFolder(components.first(components.size() - 1));
  const auto& name = components.back();
  TDescriptor file(
      ::openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.Get() < 0) {
    FailOn("Cannot create", Join(root_, components));
  }
  if (!WriteAll(file.Get(), contents)) {
    FailOn("Cannot write", Join(root_, components));
  }
}

}  // namespace tomelet::cli
