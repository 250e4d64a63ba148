// Where the reader was in a document, kept per document under $XDG_STATE_HOME/tomelet so that
// opening the document again brings the reader back: the page, its anchor and scroll position,
// the text size and the size of a sizeable window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "platform/webbrowser/WebBrowser.h"

namespace tomelet {

struct TRememberedPlace {
  std::string Page;    // the page's address without its anchor
  std::string Anchor;  // the text after '#', empty when the address had none
  int ScrollX = 0;
  int ScrollY = 0;
  int TextSize = kMediumTextSize;
  std::optional<std::pair<int, int>> WindowSize;
  bool SidePane = false;  // whether the side pane was shown

  bool operator==(const TRememberedPlace&) const = default;
};

// The place of an address as the page shows it: the anchor is split off the page.
TRememberedPlace PlaceOfAddress(std::string_view address);
// The address to navigate to for a place: its page, then '#' and the anchor when there is one.
std::string AddressOfPlace(const TRememberedPlace& place);

// What identifies a document's archive wherever it lies: its trailer and the size of its file.
// The same document copied or renamed keeps its key; a rebuilt one gets a new key.
std::string DocumentKey(const TArchiveTrailer& trailer, std::uintmax_t fileSize);

// The state file's text for a document's place, and back. Parsing answers nothing for a damaged
// file, a file of another format or version, and the file of another document.
std::string FormatPlace(std::string_view key, const TRememberedPlace& place);
std::optional<TRememberedPlace> ParsePlace(std::string_view text, std::string_view key);

// The page a document opens at: the remembered one while the document still has it (exists is
// asked with the page's address), else the start page.
std::string PageToOpen(const std::optional<TRememberedPlace>& place, const std::string& startUrl,
                       const std::function<bool(const std::string& page)>& exists);

class TPlaceStore {
 public:
  explicit TPlaceStore(std::filesystem::path folder) : folder_(std::move(folder)) {}
  // $XDG_STATE_HOME/tomelet, or ~/.local/state/tomelet without that variable; empty when neither
  // the variable nor HOME is set.
  static std::filesystem::path DefaultFolder();

  // The remembered place; nothing when there is none or its file is unreadable or damaged.
  std::optional<TRememberedPlace> Load(std::string_view key) const;
  // Replaces the remembered place at once or not at all (a new file renamed over the old one).
  // Returns false when the place could not be written; a viewer goes on without it.
  bool Save(std::string_view key, const TRememberedPlace& place) const;

 private:
  std::filesystem::path FileOf(std::string_view key) const;
  std::filesystem::path folder_;
};

}  // namespace tomelet
