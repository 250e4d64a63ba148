// Writes extracted files below one root folder: each folder is created and opened once, and
// every file is created relative to its folder's descriptor without following symbolic links,
// so nothing lands outside the root even when the root already holds links.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>

namespace tomelet::cli {

class TDescriptor {
 public:
  explicit TDescriptor(int fd = -1) : fd_(fd) {}
  ~TDescriptor();
  TDescriptor(TDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TDescriptor& operator=(TDescriptor&& other) noexcept;
  int Get() const { return fd_; }

 private:
  int fd_;
};

class TExtractionFolder {
 public:
  // Creates root (and its parents) when missing.
  explicit TExtractionFolder(const std::filesystem::path& root);

  // components: folders then the file name, each already checked to be a plain name.
  void WriteFile(std::span<const std::string> components, std::span<const std::byte> contents);

 private:
  int OpenFolder(std::span<const std::string> folders);

  std::filesystem::path root_;
  TDescriptor rootFd_;
  std::unordered_map<std::string, TDescriptor> folders_;
};

}  // namespace tomelet::cli
