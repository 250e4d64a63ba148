#include "Unit1/RememberedPlace.h"

#include <array>
#include <charconv>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/files/AtomicFile.h"
#include "platform/files/UserFolders.h"

namespace tomelet {
namespace {

constexpr std::string_view kFormatLine = "tomelet-place 1";
constexpr std::string_view kFileExtension = ".place";
// A state file larger than this is not one of ours.
constexpr std::uintmax_t kMaxFileSize = 64 * 1024;
constexpr int kLargestWindow = 32767;

// 64-bit FNV-1a over the bytes of each value in turn.
class TKeyHash {
 public:
  template <class T>
  void Add(T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
      AddByte(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
  }
  std::uint64_t Value() const { return hash_; }

 private:
  void AddByte(std::uint8_t byte) {
    hash_ ^= byte;
    hash_ *= 0x100000001B3ull;
  }
  std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

std::optional<int> IntegerOf(std::string_view text, int lowest, int highest) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest || value > highest)
    return std::nullopt;
  return value;
}

// "a b" as two integers within the bounds.
std::optional<std::pair<int, int>> PairOf(std::string_view text, int lowest, int highest) {
  const auto space = text.find(' ');
  if (space == std::string_view::npos)
    return std::nullopt;
  const auto first = IntegerOf(text.substr(0, space), lowest, highest);
  const auto second = IntegerOf(text.substr(space + 1), lowest, highest);
  if (!first || !second)
    return std::nullopt;
  return std::pair{*first, *second};
}

bool ReadField(TRememberedPlace& place, std::string_view name, std::string_view value) {
  if (name == "page") {
    place.Page = value;
    return true;
  }
  if (name == "anchor") {
    place.Anchor = value;
    return true;
  }
  if (name == "scroll") {
    const auto scroll = PairOf(value, 0, 10'000'000);
    if (scroll)
      std::tie(place.ScrollX, place.ScrollY) = *scroll;
    return scroll.has_value();
  }
  if (name == "text-size") {
    const auto size = IntegerOf(value, kSmallestTextSize, kLargestTextSize);
    if (size)
      place.TextSize = *size;
    return size.has_value();
  }
  if (name == "side-pane") {
    place.SidePane = value == "shown";
    return place.SidePane;
  }
  if (name == "window") {
    place.WindowSize = PairOf(value, 1, kLargestWindow);
    return place.WindowSize.has_value();
  }
  return false;
}

}  // namespace

TRememberedPlace PlaceOfAddress(std::string_view address) {
  TRememberedPlace place;
  const auto hash = address.find('#');
  place.Page = address.substr(0, hash);
  if (hash != std::string_view::npos)
    place.Anchor = address.substr(hash + 1);
  return place;
}

std::string AddressOfPlace(const TRememberedPlace& place) {
  return place.Anchor.empty() ? place.Page : place.Page + "#" + place.Anchor;
}

std::string DocumentKey(const TArchiveTrailer& trailer, std::uintmax_t fileSize) {
  TKeyHash hash;
  hash.Add(trailer.ArchiveCRC);
  hash.Add(trailer.EntryCount);
  hash.Add(trailer.Version);
  hash.Add(trailer.RegistrySize);
  hash.Add(trailer.DataSize);
  hash.Add(trailer.RegistryCompressed);
  hash.Add(static_cast<std::uint64_t>(fileSize));
  std::array<char, 17> text{};
  std::snprintf(text.data(), text.size(), "%016llx", static_cast<unsigned long long>(hash.Value()));
  return text.data();
}

std::string FormatPlace(std::string_view key, const TRememberedPlace& place) {
  std::ostringstream text;
  text << kFormatLine << '\n' << "key " << key << '\n' << "page " << place.Page << '\n';
  if (!place.Anchor.empty())
    text << "anchor " << place.Anchor << '\n';
  text << "scroll " << place.ScrollX << ' ' << place.ScrollY << '\n';
  text << "text-size " << place.TextSize << '\n';
  if (place.WindowSize)
    text << "window " << place.WindowSize->first << ' ' << place.WindowSize->second << '\n';
  if (place.SidePane)
    text << "side-pane shown\n";
  return text.str();
}

// Every line must be known and well formed; one stray line makes the whole file foreign.
std::optional<TRememberedPlace> ParsePlace(std::string_view text, std::string_view key) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    const auto end = text.find('\n', start);
    if (end == std::string_view::npos)
      return std::nullopt;
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() < 3 || lines[0] != kFormatLine || lines[1] != "key " + std::string(key))
    return std::nullopt;
  TRememberedPlace place;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const auto space = lines[i].find(' ');
    if (space == std::string_view::npos ||
        !ReadField(place, lines[i].substr(0, space), lines[i].substr(space + 1)))
      return std::nullopt;
  }
  if (place.Page.empty())
    return std::nullopt;
  return place;
}

std::string PageToOpen(const std::optional<TRememberedPlace>& place, const std::string& startUrl,
                       const std::function<bool(const std::string& page)>& exists) {
  if (place && exists(place->Page))
    return AddressOfPlace(*place);
  return startUrl;
}

std::filesystem::path TPlaceStore::DefaultFolder() {
  const auto state = UserFolder(TUserFolder::State);
  return state.empty() ? state : state / "tomelet";
}

std::filesystem::path TPlaceStore::FileOf(std::string_view key) const {
  return folder_ / (std::string(key) + std::string(kFileExtension));
}

std::optional<TRememberedPlace> TPlaceStore::Load(std::string_view key) const {
  if (folder_.empty())
    return std::nullopt;
  const auto text = ReadSmallFile(FileOf(key), kMaxFileSize);
  if (!text)
    return std::nullopt;
  return ParsePlace(*text, key);
}

bool TPlaceStore::Save(std::string_view key, const TRememberedPlace& place) const {
  return !folder_.empty() && WriteFileAtomically(FileOf(key), FormatPlace(key, place));
}

}  // namespace tomelet
