#include "search/Snippet.h"

#include <xapian.h>

namespace tomelet::search {
namespace {

// DocBook's link bars, as indexes written before they were left out keep them: above the page
// "Prev Up PARENT Home Next", below it "Prev Up Next PREVIOUS Home NEXT" up to the end.
constexpr std::string_view kBarStart = "Prev Up ";
constexpr std::string_view kHeaderEnd = " Home Next";
constexpr std::string_view kFooterStart = "Prev Up Next";

bool IsCjk(unsigned c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF);
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

unsigned CharacterAt(std::string_view text, std::size_t at) {
  return at < text.size() ? *Xapian::Utf8Iterator(text.data() + at, text.size() - at) : 0;
}

// A place between two characters where one of them is CJK is between two words.
bool IsCjkBoundary(std::string_view text, std::size_t at) {
  std::size_t before = at;
  while (before > 0 && IsContinuationByte(text[--before])) {
  }
  return IsCjk(CharacterAt(text, at)) || (at > 0 && IsCjk(CharacterAt(text, before)));
}

std::size_t FindBar(std::string_view text, std::string_view bar) {
  for (auto at = text.find(bar); at != std::string_view::npos; at = text.find(bar, at + 1)) {
    if (at == 0 || text[at - 1] == ' ') {
      return at;
    }
  }
  return std::string_view::npos;
}

std::string WithoutLinkBars(std::string_view text) {
  std::string kept(text);
  for (auto bar = FindBar(kept, kBarStart); bar != std::string::npos;
       bar = FindBar(kept, kBarStart)) {
    if (FindBar(kept, kFooterStart) == bar) {
      kept.erase(bar);
      continue;
    }
    const auto end = kept.find(kHeaderEnd, bar);
    if (end == std::string::npos) {
      break;
    }
    kept.erase(bar, end + kHeaderEnd.size() - bar);
  }
  return kept;
}

std::string Collapsed(std::string_view text) {
  std::string collapsed;
  for (const char c : text) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (!space) {
      collapsed += c;
    } else if (!collapsed.empty() && collapsed.back() != ' ') {
      collapsed += ' ';
    }
  }
  while (!collapsed.empty() && collapsed.back() == ' ') {
    collapsed.pop_back();
  }
  return collapsed;
}

bool IsTrailingPunctuation(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ':' || c == '(' || c == '-';
}

}  // namespace

std::string SnippetText(std::string_view text, std::size_t bytes) {
  std::string shown = Collapsed(WithoutLinkBars(text));
  if (shown.size() <= bytes) {
    return shown;
  }
  std::size_t end = bytes - kEllipsis.size();
  while (end > 0 && IsContinuationByte(shown[end])) {
    --end;
  }
  if (shown[end] != ' ' && !IsCjkBoundary(shown, end)) {
    const auto space = shown.rfind(' ', end);
    end = space != std::string::npos && space > 0 ? space : end;
  }
  while (end > 1 && IsTrailingPunctuation(shown[end - 1])) {
    --end;
  }
  shown.resize(end);
  return shown + std::string(kEllipsis);
}

bool HasCjk(std::string_view text) {
  for (Xapian::Utf8Iterator it(text.data(), text.size()); it != Xapian::Utf8Iterator(); ++it) {
    if (IsCjk(*it)) {
      return true;
    }
  }
  return false;
}

}  // namespace tomelet::search
