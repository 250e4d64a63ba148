#include <map>
#include <set>

#include "document/DocumentFile.h"
#include "library/Library.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Fnv1a.h"

namespace tomelet::library {
namespace {

constexpr std::string_view kUnnamed = "document";

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

// Runs of anything else become one "-"; dots and dashes at either end go, so a name never
// looks like a dot segment or a hidden file.
std::string Readable(std::string_view text) {
  std::string name;
  for (const char raw : text) {
    const char c = FoldAsciiLetter(raw);
    if (IsNameCharacter(c)) {
      name += c;
    } else if (!name.empty() && name.back() != '-') {
      name += '-';
    }
  }
  const auto first = name.find_first_not_of(".-");
  if (first == std::string::npos) {
    return std::string(kUnnamed);
  }
  name.erase(0, first);
  name.erase(name.find_last_not_of(".-") + 1);
  return name;
}

std::string BaseName(const std::filesystem::path& relative) {
  std::string joined;
  for (auto part = relative.begin(); part != relative.end(); ++part) {
    std::string piece = part->native();
    if (std::next(part) == relative.end() && HasDocumentExtension(piece)) {
      piece.resize(piece.size() - kDocumentExtension.size());
    }
    joined += joined.empty() ? piece : "/" + piece;
  }
  return Readable(joined);
}

std::string HashSuffix(const std::filesystem::path& path) {
  const std::uint64_t hash = Fnv1a(path.native());
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string suffix = "-";
  for (int shift = 60; suffix.size() < 7; shift -= 4) {
    suffix += kDigits[(hash >> shift) & 0xF];
  }
  return suffix;
}

}  // namespace

std::vector<std::string> DocumentNames(const std::vector<TFoundFile>& files,
                                       const std::map<std::filesystem::path, std::string>& given) {
  std::vector<std::string> names(files.size());
  std::set<std::string> kept;
  std::map<std::string, int> uses;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (const auto old = given.find(files[i].Path); old != given.end()) {
      names[i] = old->second;
      kept.insert(old->second);
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (names[i].empty()) {
      names[i] = BaseName(files[i].Relative);
      ++uses[names[i]];
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!given.contains(files[i].Path) && (uses[names[i]] > 1 || kept.contains(names[i]))) {
      names[i] += HashSuffix(files[i].Path);
    }
  }
  return names;
}

bool LooksLikeDocument(const std::filesystem::path& path, bool executable) {
  return HasDocumentExtension(path.filename().native()) ||
         (executable && IsProgramWithDocument(path));
}

}  // namespace tomelet::library
