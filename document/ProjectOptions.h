// The project options record stored as the "-config-" entry of every document: a fixed
// 2872-byte layout of short strings, little-endian integers and one-byte booleans.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tomelet {

// Where each field starts inside the record.
namespace option_offset {
inline constexpr std::size_t StartPage = 0;
inline constexpr std::size_t WindowBorder = 516;
inline constexpr std::size_t WindowWidth = 520;
inline constexpr std::size_t WindowHeight = 524;
inline constexpr std::size_t LogoSource = 528;
inline constexpr std::size_t NoScrollBars = 786;
inline constexpr std::size_t CenterWindow = 787;
inline constexpr std::size_t ShowToolBar = 788;
inline constexpr std::size_t ShowButtonCaptions = 789;
inline constexpr std::size_t ShowStatusBar = 790;
inline constexpr std::size_t AllowCopy = 791;
inline constexpr std::size_t AllowFind = 792;
inline constexpr std::size_t AllowPrint = 793;
inline constexpr std::size_t AllowFontSize = 794;
inline constexpr std::size_t AccessPassword = 795;
inline constexpr std::size_t OpenOutsideMasks = 1320;
inline constexpr std::size_t BrowserUserAgent = 1584;
}  // namespace option_offset

enum class TOptionKind { ShortString, Integer, Boolean };

// One named field of the record; reserved ranges have no entry.
struct TOptionField {
  std::string_view Name;
  TOptionKind Kind;
  std::size_t Offset;
};

inline constexpr std::array<TOptionField, 17> kProjectOptionFields = {{
    {"StartPage", TOptionKind::ShortString, option_offset::StartPage},
    {"WindowBorder", TOptionKind::Integer, option_offset::WindowBorder},
    {"WindowWidth", TOptionKind::Integer, option_offset::WindowWidth},
    {"WindowHeight", TOptionKind::Integer, option_offset::WindowHeight},
    {"LogoSource", TOptionKind::ShortString, option_offset::LogoSource},
    {"NoScrollBars", TOptionKind::Boolean, option_offset::NoScrollBars},
    {"CenterWindow", TOptionKind::Boolean, option_offset::CenterWindow},
    {"ShowToolBar", TOptionKind::Boolean, option_offset::ShowToolBar},
    {"ShowButtonCaptions", TOptionKind::Boolean, option_offset::ShowButtonCaptions},
    {"ShowStatusBar", TOptionKind::Boolean, option_offset::ShowStatusBar},
    {"AllowCopy", TOptionKind::Boolean, option_offset::AllowCopy},
    {"AllowFind", TOptionKind::Boolean, option_offset::AllowFind},
    {"AllowPrint", TOptionKind::Boolean, option_offset::AllowPrint},
    {"AllowFontSize", TOptionKind::Boolean, option_offset::AllowFontSize},
    {"AccessPassword", TOptionKind::ShortString, option_offset::AccessPassword},
    {"OpenOutsideMasks", TOptionKind::ShortString, option_offset::OpenOutsideMasks},
    {"BrowserUserAgent", TOptionKind::ShortString, option_offset::BrowserUserAgent},
}};

// The record's bytes as they stand: reading converts and validates nothing, so a record written
// by any authoring side reads back exactly.
class TProjectOptions {
 public:
  static constexpr std::size_t kSize = 2872;
  static constexpr std::size_t kShortStringMax = 255;

  // Copies the first kSize bytes; a shorter source leaves the rest zero.
  void Read(std::span<const std::byte> source);
  std::span<const std::byte, kSize> Bytes() const { return bytes_; }

  // Generic access by field; the setters throw std::length_error for a text over 255 bytes.
  std::string ShortStringAt(std::size_t offset) const;
  std::int32_t IntegerAt(std::size_t offset) const;
  bool BooleanAt(std::size_t offset) const;
  void SetShortStringAt(std::size_t offset, std::string_view text);
  void SetIntegerAt(std::size_t offset, std::int32_t value);
  void SetBooleanAt(std::size_t offset, bool value);

  // The StartPage option as written, a Windows path or a bare name; StartPageArchivePath gives the
  // entry it leads to (TDocument::StartPagePath).
  std::string StartPageOption() const { return ShortStringAt(option_offset::StartPage); }
  std::int32_t WindowBorder() const { return IntegerAt(option_offset::WindowBorder); }
  std::int32_t WindowWidth() const { return IntegerAt(option_offset::WindowWidth); }
  std::int32_t WindowHeight() const { return IntegerAt(option_offset::WindowHeight); }
  std::string LogoSource() const { return ShortStringAt(option_offset::LogoSource); }
  bool NoScrollBars() const { return BooleanAt(option_offset::NoScrollBars); }
  bool CenterWindow() const { return BooleanAt(option_offset::CenterWindow); }
  bool ShowToolBar() const { return BooleanAt(option_offset::ShowToolBar); }
  bool ShowButtonCaptions() const { return BooleanAt(option_offset::ShowButtonCaptions); }
  bool ShowStatusBar() const { return BooleanAt(option_offset::ShowStatusBar); }
  bool AllowCopy() const { return BooleanAt(option_offset::AllowCopy); }
  bool AllowFind() const { return BooleanAt(option_offset::AllowFind); }
  bool AllowPrint() const { return BooleanAt(option_offset::AllowPrint); }
  bool AllowFontSize() const { return BooleanAt(option_offset::AllowFontSize); }
  std::string AccessPassword() const { return ShortStringAt(option_offset::AccessPassword); }
  std::string OpenOutsideMasks() const { return ShortStringAt(option_offset::OpenOutsideMasks); }
  std::string BrowserUserAgent() const { return ShortStringAt(option_offset::BrowserUserAgent); }

  void SetOpenOutsideMasks(std::string_view masks) {
    SetShortStringAt(option_offset::OpenOutsideMasks, masks);
  }

 private:
  std::array<std::byte, kSize> bytes_{};
};

}  // namespace tomelet
