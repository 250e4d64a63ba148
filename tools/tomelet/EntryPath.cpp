#include "tools/tomelet/EntryPath.h"

#include <cctype>

#include "platform/text/Codepage.h"
#include "platform/text/ShownText.h"

namespace tomelet::cli {
namespace {

constexpr std::size_t kLongestFileName = 255;

[[noreturn]] void Refuse(std::string_view archivePath, std::string_view reason) {
  throw EUnsafeEntryName("Refusing to extract \"" + ShownName(archivePath) +
                         "\": " + std::string(reason));
}

bool StartsWithDriveLetter(std::string_view archivePath) {
  return archivePath.size() >= 2 && std::isalpha(static_cast<unsigned char>(archivePath[0])) &&
         archivePath[1] == ':';
}

void CheckComponent(std::string_view archivePath, std::string_view component) {
  if (component.empty()) {
    Refuse(archivePath, "it has an empty folder or file name");
  }
  if (component == "." || component == "..") {
    Refuse(archivePath, "it refers to a parent or current folder");
  }
  if (component.find('/') != std::string_view::npos) {
    Refuse(archivePath, "it has \"/\" inside a name");
  }
  if (component.find('\0') != std::string_view::npos) {
    Refuse(archivePath, "it has a NUL byte inside a name");
  }
}

}  // namespace

std::vector<std::string> ExtractionPath(std::string_view archivePath) {
  if (archivePath.starts_with('\\') || archivePath.starts_with('/')) {
    Refuse(archivePath, "it is an absolute path");
  }
  if (StartsWithDriveLetter(archivePath)) {
    Refuse(archivePath, "it starts with a drive letter");
  }
  std::vector<std::string> components;
  std::size_t start = 0;
  while (true) {
    const auto end = archivePath.find('\\', start);
    const auto component = archivePath.substr(start, end - start);
    CheckComponent(archivePath, component);
    components.push_back(DisplayText(component));
    // A Windows-1252 name can double in length as UTF-8, past what a file name may hold.
    if (components.back().size() > kLongestFileName) {
      Refuse(archivePath, "a name is longer than 255 bytes as UTF-8");
    }
    if (end == std::string_view::npos) {
      break;
    }
    start = end + 1;
  }
  return components;
}

}  // namespace tomelet::cli
