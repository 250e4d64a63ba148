#include "Unit1/FileMasks.h"

#include <cstdint>
#include <string>

#include "platform/text/Utf8.h"

namespace tomelet {

namespace {

struct Range {
  std::uint32_t First;
  std::uint32_t Last;
};

// Reads one character at pos and moves pos past it. A byte that does not start a valid sequence
// stands for itself, kept apart from every code point so that it never equals a real character.
std::uint32_t NextChar(std::string_view text, std::size_t& pos) {
  return *NextUtf8Char(text, pos, TMalformedUtf8::KeepByte);
}

std::uint32_t UpCase(std::uint32_t ch) {
  return ch >= 'a' && ch <= 'z' ? ch - ('a' - 'A') : ch;
}

}  // namespace

struct TFileMask::Element {
  enum class Kind : std::uint8_t { AnyRun, AnyChar, Literal, Set };
  Kind Type = Kind::Literal;
  bool Negate = false;
  std::uint32_t Char = 0;
  std::vector<Range> Ranges;

  bool Matches(std::uint32_t ch) const {
    ch = UpCase(ch);
    switch (Type) {
      case Kind::AnyChar:
        return true;
      case Kind::Literal:
        return ch == Char;
      case Kind::Set:
        return InSet(ch) != Negate;
      case Kind::AnyRun:
        break;
    }
    return false;
  }

  // Members count as upper-cased, so an upper-case letter also finds its lower-case member.
  bool InSet(std::uint32_t upper) const {
    const bool letter = upper >= 'A' && upper <= 'Z';
    for (const Range& range : Ranges) {
      if (upper >= range.First && upper <= range.Last)
        return true;
      if (letter && upper + ('a' - 'A') >= range.First && upper + ('a' - 'A') <= range.Last)
        return true;
    }
    return false;
  }
};

namespace {

using Element = TFileMask::Element;

// Builds the element list of one mask; positions count characters from 1.
class MaskParser {
 public:
  explicit MaskParser(std::string_view mask) : mask_(mask) {}

  std::vector<Element> Parse() {
    while (pos_ < mask_.size()) {
      const bool afterStar = previous_ == '*';
      const std::uint32_t ch = Next();
      previous_ = ch;
      if (ch == '*')
        pendingRun_ = true;
      else if (ch == '?')
        AddAnyCharUnless(afterStar);
      else if (ch == '[')
        AddSet();
      else
        Add(Element{Element::Kind::Literal, false, UpCase(ch), {}}, charIndex_);
    }
    if (pendingRun_)
      AddRun(charIndex_ + 1);
    return std::move(elements_);
  }

 private:
  std::uint32_t Next() {
    ++charIndex_;
    return NextChar(mask_, pos_);
  }

  [[noreturn]] void Invalid(int position) const {
    throw EMaskException("'" + std::string(mask_) + "' is an invalid mask at (" +
                         std::to_string(position) + ")");
  }

  void AddAnyCharUnless(bool afterStar) {
    if (!afterStar)
      Add(Element{Element::Kind::AnyChar, false, 0, {}}, charIndex_);
  }

  void Add(Element element, int position) {
    if (pendingRun_)
      AddRun(position);
    elements_.push_back(std::move(element));
  }

  void AddRun(int position) {
    pendingRun_ = false;
    if (++wildcards_ > TFileMask::kMaxWildcards)
      Invalid(position);
    elements_.push_back(Element{Element::Kind::AnyRun, false, 0, {}});
  }

  void AddSet() {
    const int opening = charIndex_;
    Add(ParseSet(opening), opening);
  }

  Element ParseSet(int opening) {
    Element set{Element::Kind::Set, false, 0, {}};
    if (pos_ < mask_.size() && mask_[pos_] == '!') {
      Next();
      set.Negate = true;
    }
    while (pos_ < mask_.size()) {
      const std::uint32_t ch = Next();
      if (ch == ']') {
        if (set.Ranges.empty())
          Invalid(charIndex_);
        return set;
      }
      if (ch == '-' && StartsRangeWithoutFirst())
        Invalid(charIndex_);
      set.Ranges.push_back(ParseMember(ch));
    }
    Invalid(opening);
  }

  // A '-' followed by ']' or by the end of the mask is not a range.
  bool StartsRangeWithoutFirst() const { return pos_ < mask_.size() && mask_[pos_] != ']'; }

  // A member is one character or a range "first-last"; a '-' just before ']' is itself.
  Range ParseMember(std::uint32_t first) {
    if (pos_ + 1 < mask_.size() && mask_[pos_] == '-' && mask_[pos_ + 1] != ']') {
      Next();
      const std::uint32_t last = Next();
      return Range{first, last};
    }
    return Range{first, first};
  }

  std::string_view mask_;
  std::size_t pos_ = 0;
  int charIndex_ = 0;
  bool pendingRun_ = false;
  // A '?' directly after '*' adds nothing, so "*?" is the same mask as "*".
  std::uint32_t previous_ = 0;
  int wildcards_ = 0;
  std::vector<Element> elements_;
};

}  // namespace

TFileMask::TFileMask(std::string_view mask) : elements_(MaskParser(mask).Parse()) {}
TFileMask::~TFileMask() = default;

// Single-character elements let a run be retried from its last start only, which keeps the
// test linear in the text for each run instead of exponential in the number of runs.
bool TFileMask::Matches(std::string_view text) const {
  std::size_t element = 0;
  std::size_t pos = 0;
  std::size_t runElement = elements_.size();
  std::size_t runRestart = 0;
  while (pos < text.size()) {
    if (element < elements_.size() && elements_[element].Type == Element::Kind::AnyRun) {
      runElement = element++;
      runRestart = pos;
      continue;
    }
    std::size_t next = pos;
    const std::uint32_t ch = NextChar(text, next);
    if (element < elements_.size() && elements_[element].Matches(ch)) {
      ++element;
      pos = next;
    } else if (runElement < elements_.size()) {
      element = runElement + 1;
      NextChar(text, runRestart);
      pos = runRestart;
    } else {
      return false;
    }
  }
  while (element < elements_.size() && elements_[element].Type == Element::Kind::AnyRun)
    ++element;
  return element == elements_.size();
}

}  // namespace tomelet
