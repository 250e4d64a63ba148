// Writes extracted files below one root folder, all or nothing as far as the file system allows.
// Every place is checked before anything is written; each file is then written anew under a
// temporary name in its folder and renamed into place only when every file has been written and
// checked, so existing files, hard links and symbolic links are replaced, never written through.
// Folders are created and opened relative to their parent's descriptor without following links.
// What an extraction made is registered as a leftover, so an interruption takes it away, and
// partial files left by an earlier extraction that was killed are removed from the folders
// written into.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tomelet {
class TLeftovers;
}

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
  // Creates root (and its parents) when missing. Throws std::runtime_error when it cannot.
  explicit TExtractionFolder(const std::filesystem::path& root);
  // Removes the temporary files and the folders of an extraction that was not committed.
  ~TExtractionFolder();
  TExtractionFolder(const TExtractionFolder&) = delete;
  TExtractionFolder& operator=(const TExtractionFolder&) = delete;

  // Throws std::runtime_error, writing nothing, when what is on disk would stop the file from
  // landing: a symbolic link or a file where a folder is needed, a folder where the file goes.
  // components: folders then the file name, each already checked to be a plain name.
  void CheckPlace(std::span<const std::string> components);
  // Creates the file's folders and an empty temporary file beside its final place; the
  // descriptor is for the caller to write into. Throws std::runtime_error.
  TDescriptor Stage(std::span<const std::string> components);
  // Renames every staged file into its place, in the order staged. Throws std::runtime_error
  // when a rename fails; files renamed before it stay.
  void Commit();

 private:
  struct Staged {
    std::vector<std::string> components;
    std::string temporaryName;
    std::uint64_t ticket;
  };
  struct MadeFolder {
    std::vector<std::string> folders;
    std::uint64_t ticket;
  };

  void MakeRoot();
  void ForgetMade(TLeftovers& leftovers) const;
  int OpenFolder(std::span<const std::string> folders, bool create);
  void SweepOnce(std::span<const std::string> folders, int fd);
  std::filesystem::path PathOf(std::span<const std::string> components) const;

  std::filesystem::path root_;
  TDescriptor rootFd_;
  std::unordered_map<std::string, TDescriptor> folders_;
  std::unordered_set<std::string> checkedFolders_;
  std::vector<Staged> staged_;
  std::vector<MadeFolder> createdFolders_;
  std::vector<std::pair<std::filesystem::path, std::uint64_t>> createdRoot_;
  std::unordered_set<std::string> sweptFolders_;
  bool committed_ = false;
};

}  // namespace tomelet::cli
