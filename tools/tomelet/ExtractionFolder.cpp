#include "tools/tomelet/ExtractionFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "platform/cleanup/Leftovers.h"

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

constexpr std::string_view kPartPrefix = ".tomelet-";
constexpr std::string_view kPartSuffix = ".part";

std::string TemporaryName(std::size_t serial) {
  return std::string(kPartPrefix) + std::to_string(::getpid()) + "-" + std::to_string(serial) +
         std::string(kPartSuffix);
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A partial file named as TemporaryName names them, by a process that no longer runs: one killed
// in a way no program can catch.
bool IsStalePart(std::string_view name) {
  if (!name.starts_with(kPartPrefix) || !name.ends_with(kPartSuffix)) {
    return false;
  }
  name.remove_prefix(kPartPrefix.size());
  name.remove_suffix(kPartSuffix.size());
  const auto dash = name.find('-');
  if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash)) ||
      !AllDigits(name.substr(dash + 1))) {
    return false;
  }
  pid_t pid = 0;
  const auto parsed = std::from_chars(name.data(), name.data() + dash, pid);
  if (parsed.ec != std::errc() || pid <= 0 || pid == ::getpid()) {
    return false;
  }
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

void RemoveStaleParts(int folderFd) {
  const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) {
    return;
  }
  DIR* folder = ::fdopendir(listing);
  if (folder == nullptr) {
    ::close(listing);
    return;
  }
  while (const dirent* entry = ::readdir(folder)) {
    if (IsStalePart(entry->d_name)) {
      ::unlinkat(folderFd, entry->d_name, 0);
    }
  }
  ::closedir(folder);
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
  MakeRoot();
  rootFd_ = TDescriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (rootFd_.Get() < 0) {
    FailOn("Cannot open folder", root);
  }
}

TExtractionFolder::~TExtractionFolder() {
  if (committed_) {
    return;
  }
  TLeftovers leftovers;
  for (const auto& file : staged_) {
    const std::span<const std::string> components(file.components);
    const int folder = OpenFolder(components.first(components.size() - 1), false);
    if (folder >= 0) {
      ::unlinkat(folder, file.temporaryName.c_str(), 0);
    }
  }
  folders_.clear();
  for (auto made = createdFolders_.rbegin(); made != createdFolders_.rend(); ++made) {
    ::unlinkat(rootFd_.Get(), FolderKey(made->folders).c_str(), AT_REMOVEDIR);
  }
  for (auto made = createdRoot_.rbegin(); made != createdRoot_.rend(); ++made) {
    ::rmdir(made->first.c_str());
  }
  ForgetMade(leftovers);
}

void TExtractionFolder::ForgetMade(TLeftovers& leftovers) const {
  for (const auto& file : staged_) {
    leftovers.Forget(file.ticket);
  }
  for (const auto& made : createdFolders_) {
    leftovers.Forget(made.ticket);
  }
  for (const auto& made : createdRoot_) {
    leftovers.Forget(made.second);
  }
}

// Creates the missing folders of the root one by one, so that each is known to be this
// extraction's own.
void TExtractionFolder::MakeRoot() {
  std::vector<std::filesystem::path> missing;
  std::error_code error;
  for (auto folder = root_;
       !folder.empty() && !std::filesystem::exists(std::filesystem::symlink_status(folder, error));
       folder = folder.parent_path()) {
    missing.push_back(folder);
    if (folder == folder.parent_path()) {
      break;
    }
  }
  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
    TLeftovers leftovers;
    if (::mkdir(folder->c_str(), 0777) == 0) {
      createdRoot_.emplace_back(*folder, leftovers.Add(*folder, TLeftoverKind::EmptyFolder));
    } else if (errno != EEXIST) {
      // Said here, with its own reason (a permission denied), before the folders made so far go.
      const int error = errno;
      for (auto made = createdRoot_.rbegin(); made != createdRoot_.rend(); ++made) {
        ::rmdir(made->first.c_str());
        leftovers.Forget(made->second);
      }
      createdRoot_.clear();
      errno = error;
      FailOn("Cannot create folder", *folder);
    }
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
    TLeftovers leftovers;
    if (::mkdirat(parent, name.c_str(), 0777) == 0) {
      createdFolders_.push_back({{folders.begin(), folders.end()},
                                 leftovers.Add(PathOf(folders), TLeftoverKind::EmptyFolder)});
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

void TExtractionFolder::SweepOnce(std::span<const std::string> folders, int fd) {
  if (sweptFolders_.insert(FolderKey(folders)).second) {
    RemoveStaleParts(fd);
  }
}

TDescriptor TExtractionFolder::Stage(std::span<const std::string> components) {
  const auto folders = components.first(components.size() - 1);
  const int parent = OpenFolder(folders, true);
  SweepOnce(folders, parent);
  for (std::size_t serial = staged_.size();; serial += 1'000'000) {
    std::string name = TemporaryName(serial);
    TLeftovers leftovers;
    TDescriptor file(
        ::openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.Get() >= 0) {
      const auto ticket = leftovers.Add(PathOf(folders) / name, TLeftoverKind::File);
      staged_.push_back({{components.begin(), components.end()}, std::move(name), ticket});
      return file;
    }
    if (errno != EEXIST) {
      FailOn("Cannot create", PathOf(components));
    }
  }
}

// Under one hold, so that an interruption finds either none of the files in place or all of them.
void TExtractionFolder::Commit() {
  TLeftovers leftovers;
  for (const auto& file : staged_) {
    const std::span<const std::string> components(file.components);
    const int parent = OpenFolder(components.first(components.size() - 1), false);
    if (parent < 0 ||
        ::renameat(parent, file.temporaryName.c_str(), parent, components.back().c_str()) != 0) {
      FailOn("Cannot write", PathOf(components));
    }
  }
  ForgetMade(leftovers);
  committed_ = true;
}

}  // namespace tomelet::cli
