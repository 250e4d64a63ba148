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

[[noreturn]] void RefuseBecause(const std::filesystem::path& path, std::string_view reason) {
  throw std::runtime_error("Refusing to extract into " + path.string() + ": " +
                           std::string(reason));
}

std::string FolderKey(std::span<const std::string> folders) {
  std::string key;
  for (const auto& folder : folders) {
    key.append(folder).push_back('/');
  }
  return key;
}

// The kind of what is at the relative path, without following a final symbolic link; 0 when
// nothing is there.
mode_t KindAt(int rootFd, const std::string& relative) {
  struct stat status {};
  if (::fstatat(rootFd, relative.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return 0;
  }
  return status.st_mode & S_IFMT;
}

std::string TemporaryName(std::size_t serial) {
  return ".tomelet-" + std::to_string(::getpid()) + "-" + std::to_string(serial) + ".part";
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

TExtractionFolder::~TExtractionFolder() {
  if (committed_) {
    return;
  }
  for (const auto& file : staged_) {
    const std::span<const std::string> components(file.components);
    const int folder = OpenFolder(components.first(components.size() - 1), false);
    if (folder >= 0) {
      ::unlinkat(folder, file.temporaryName.c_str(), 0);
    }
  }
  folders_.clear();
  for (auto made = createdFolders_.rbegin(); made != createdFolders_.rend(); ++made) {
    ::unlinkat(rootFd_.Get(), FolderKey(*made).c_str(), AT_REMOVEDIR);
  }
}

std::filesystem::path TExtractionFolder::PathOf(std::span<const std::string> components) const {
  auto path = root_;
  for (const auto& component : components) {
    path /= component;
  }
  return path;
}

void TExtractionFolder::CheckPlace(std::span<const std::string> components) {
  std::string relative;
  for (std::size_t depth = 0; depth + 1 < components.size(); ++depth) {
    relative.append(components[depth]);
    // Each prefix is checked before the next, so the stat of a longer one never passes
    // through a link.
    if (checkedFolders_.insert(relative).second) {
      const mode_t kind = KindAt(rootFd_.Get(), relative);
      if (kind == S_IFLNK) {
        RefuseBecause(PathOf(components.first(depth + 1)), "it is a symbolic link");
      }
      if (kind != 0 && kind != S_IFDIR) {
        RefuseBecause(PathOf(components.first(depth + 1)), "a file is where a folder belongs");
      }
    }
    relative.push_back('/');
  }
  if (KindAt(rootFd_.Get(), relative + components.back()) == S_IFDIR) {
    RefuseBecause(PathOf(components), "a folder is where the file belongs");
  }
}

int TExtractionFolder::OpenFolder(std::span<const std::string> folders, bool create) {
  if (folders.empty()) {
    return rootFd_.Get();
  }
  auto key = FolderKey(folders);
  if (const auto found = folders_.find(key); found != folders_.end()) {
    return found->second.Get();
  }
  const int parent = OpenFolder(folders.first(folders.size() - 1), create);
  if (parent < 0) {
    return -1;
  }
  const auto& name = folders.back();
  if (create) {
    if (::mkdirat(parent, name.c_str(), 0777) == 0) {
      createdFolders_.emplace_back(folders.begin(), folders.end());
    } else if (errno != EEXIST) {
      FailOn("Cannot create folder", PathOf(folders));
    }
  }
  TDescriptor folder(
      ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.Get() < 0) {
    if (!create) {
      return -1;
    }
    FailOn("Cannot open folder", PathOf(folders));
  }
  if (folders_.size() >= kMaxOpenFolders) {
    folders_.clear();
  }
  const int fd = folder.Get();
  folders_.emplace(std::move(key), std::move(folder));
  return fd;
}

TDescriptor TExtractionFolder::Stage(std::span<const std::string> components) {
  const int parent = OpenFolder(components.first(components.size() - 1), true);
  for (std::size_t serial = staged_.size();; serial += 1'000'000) {
    std::string name = TemporaryName(serial);
    TDescriptor file(
        ::openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.Get() >= 0) {
      staged_.push_back({{components.begin(), components.end()}, std::move(name)});
      return file;
    }
    if (errno != EEXIST) {
      FailOn("Cannot create", PathOf(components));
    }
  }
}

void TExtractionFolder::Commit() {
  for (const auto& file : staged_) {
    const std::span<const std::string> components(file.components);
    const int parent = OpenFolder(components.first(components.size() - 1), false);
    if (parent < 0 ||
        ::renameat(parent, file.temporaryName.c_str(), parent, components.back().c_str()) != 0) {
      FailOn("Cannot write", PathOf(components));
    }
  }
  committed_ = true;
}

}  // namespace tomelet::cli
