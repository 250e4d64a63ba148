#include "platform/text/Utf8.h"

#include <utility>

namespace tomelet {
namespace {

struct SequenceStart {
  std::size_t length;
  char32_t bits;
  char32_t minimum;
};

// Lead bytes 0xC0, 0xC1 and 0xF5 and above can only start overlong or out-of-range forms.
std::optional<SequenceStart> ClassifyLead(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return SequenceStart{2, char32_t{lead} & 0x1F, 0x80};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return SequenceStart{3, char32_t{lead} & 0x0F, 0x800};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return SequenceStart{4, char32_t{lead} & 0x07, 0x10000};
  }
  return std::nullopt;
}

// The sequence at text[pos] when it is well formed; pos is left alone.
std::optional<std::pair<char32_t, std::size_t>> WellFormedSequence(std::string_view text,
                                                                   std::size_t pos) {
  const auto start = ClassifyLead(static_cast<unsigned char>(text[pos]));
  if (!start || text.size() - pos < start->length) {
    return std::nullopt;
  }
  char32_t codePoint = start->bits;
  for (std::size_t i = 1; i < start->length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      return std::nullopt;
    }
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < start->minimum || codePoint > 0x10FFFF ||
      (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return std::nullopt;
  }
  return std::pair{codePoint, start->length};
}

std::optional<char32_t> Malformed(unsigned char byte, TMalformedUtf8 policy) {
  switch (policy) {
    case TMalformedUtf8::Replace:
      return 0xFFFD;
    case TMalformedUtf8::KeepByte:
      return kMalformedUtf8Byte + byte;
    case TMalformedUtf8::Refuse:
      break;
  }
  return std::nullopt;
}

}  // namespace

std::optional<char32_t> NextUtf8Char(std::string_view text, std::size_t& pos,
                                     TMalformedUtf8 policy) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  if (const auto sequence = WellFormedSequence(text, pos)) {
    pos += sequence->second;
    return sequence->first;
  }
  ++pos;
  return Malformed(lead, policy);
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace tomelet
