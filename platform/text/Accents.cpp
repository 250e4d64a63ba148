// One plain letter for each code point of Latin-1's letters and of Latin Extended-A, read from
// two tables; '*' marks the letters that become two, ' ' those that stay.
#include "platform/text/Accents.h"

#include "platform/text/Utf8.h"

namespace tomelet {
namespace {

constexpr char32_t kFirstFolded = 0xC0;
constexpr char32_t kAfterFolded = 0x180;
constexpr std::string_view kPlainLetters =
    "AAAAAA*CEEEEIIIIDNOOOOO OUUUUY *aaaaaa*ceeeeiiiidnooooo ouuuuy y"
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo**RrRrRr"
    "SsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(kPlainLetters.size() == kAfterFolded - kFirstFolded);

constexpr bool IsCombiningAccent(char32_t c) {
  return c >= 0x300 && c <= 0x36F;
}

std::string_view TwoLetters(char32_t c) {
  switch (c) {
    case 0xC6:
      return "AE";
    case 0xDF:
      return "ss";
    case 0xE6:
      return "ae";
    case 0x132:
      return "IJ";
    case 0x133:
      return "ij";
    case 0x152:
      return "OE";
    default:
      return "oe";
  }
}

// The plain form of c, or nothing when c stays as it is.
std::string_view Plain(char32_t c) {
  if (IsCombiningAccent(c)) {
    return std::string_view("", 0);
  }
  if (c < kFirstFolded || c >= kAfterFolded) {
    return {};
  }
  const std::string_view letter = kPlainLetters.substr(c - kFirstFolded, 1);
  return letter == " " ? std::string_view() : letter == "*" ? TwoLetters(c) : letter;
}

}  // namespace

std::string FoldAccents(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    const auto c = NextUtf8Char(text, pos, TMalformedUtf8::KeepByte);
    const std::string_view plain = Plain(*c);
    if (plain.data() == nullptr) {
      out.append(text.substr(start, pos - start));
    } else {
      out.append(plain);
    }
  }
  return out;
}

bool HasAccents(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
    } else if (Plain(*NextUtf8Char(text, pos, TMalformedUtf8::KeepByte)).data() != nullptr) {
      return true;
    }
  }
  return false;
}

}  // namespace tomelet
