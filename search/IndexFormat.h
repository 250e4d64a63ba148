// What the builder and the reader of the index agree on: the header, the record of each
// section, the metadata keys and the language set-up.
#pragma once

#include <xapian.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::search::format {

inline constexpr std::string_view kMagic("TOMELET-INDEX\0\0\0", 16);
inline constexpr Xapian::valueno kPageSlot = 0;
inline constexpr std::string_view kIdPrefix = "XA";
inline constexpr std::string_view kLanguageKey = "tomelet.language";
inline constexpr std::string_view kPagesKey = "tomelet.pages";
// Xapian refuses longer terms.
inline constexpr std::size_t kMaxTermBytes = 240;

struct THeader {
  std::uint32_t Version = 0;
  std::uint64_t DatabaseSize = 0;
};

std::vector<std::byte> EncodeHeader(std::uint64_t databaseSize);
// Nullopt when the bytes do not start with the magic text.
std::optional<THeader> DecodeHeader(std::span<const std::byte> bytes);

struct TSectionRecord {
  std::string Path;
  std::string Anchor;
  std::string Title;
  std::string Text;
};

std::string EncodeSection(const TSectionRecord& record);
// Throws ESearchIndexError (damaged) when the bytes are cut short.
TSectionRecord DecodeSection(std::string_view bytes);

struct TPageEntry {
  std::string Path;
  std::string Title;
};
std::string EncodePages(const std::vector<TPageEntry>& pages);
std::vector<TPageEntry> DecodePages(std::string_view bytes);

// The stemmer's name for a language code ("en-GB" -> "en"); "none" when Xapian has none.
std::string StemmerLanguage(std::string_view language);
Xapian::Stem MakeStemmer(const std::string& stemmerLanguage);
// Common English words, so a query for "how to open a file" is about "open" and "file".
std::unique_ptr<Xapian::Stopper> MakeStopper(const std::string& stemmerLanguage);

}  // namespace tomelet::search::format
