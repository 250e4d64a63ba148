#include "serve/HttpDate.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace tomelet::serve {

namespace {

constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads a date field by field from the front of the text; each step fails without consuming
// anything when the text does not have the field there.
class TDateReader {
 public:
  explicit TDateReader(std::string_view text) : text_(text) {}

  bool Skip(std::string_view literal) {
    if (!text_.starts_with(literal)) {
      return false;
    }
    text_.remove_prefix(literal.size());
    return true;
  }
  bool SkipWord() {
    const auto end = text_.find_first_of(", ");
    if (end == 0 || end == std::string_view::npos) {
      return false;
    }
    text_.remove_prefix(end);
    return true;
  }
  bool Number(int& value, std::size_t digits, bool padded = false) {
    if (text_.size() < digits) {
      return false;
    }
    std::string_view field = text_.substr(0, digits);
    if (padded && field.starts_with(' ')) {
      field.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size()) {
      return false;
    }
    text_.remove_prefix(digits);
    return true;
  }
  bool Month(int& value) {
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
      if (Skip(kMonths[i])) {
        value = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }
  bool Clock(std::tm& time) {
    return Number(time.tm_hour, 2) && Skip(":") && Number(time.tm_min, 2) && Skip(":") &&
           Number(time.tm_sec, 2);
  }
  bool AtEnd() const { return text_.empty(); }

 private:
  std::string_view text_;
};

// "Sun, 06 Nov 1994 08:49:37 GMT"
bool ReadPreferred(std::string_view text, std::tm& time) {
  TDateReader reader(text);
  return reader.SkipWord() && reader.Skip(", ") && reader.Number(time.tm_mday, 2) &&
         reader.Skip(" ") && reader.Month(time.tm_mon) && reader.Skip(" ") &&
         reader.Number(time.tm_year, 4) && reader.Skip(" ") && reader.Clock(time) &&
         reader.Skip(" GMT") && reader.AtEnd();
}

// "Sunday, 06-Nov-94 08:49:37 GMT"; a two-digit year from 70 on is in the 1900s, the rest in
// the 2000s.
bool ReadObsolete(std::string_view text, std::tm& time) {
  TDateReader reader(text);
  const bool read = reader.SkipWord() && reader.Skip(", ") && reader.Number(time.tm_mday, 2) &&
                    reader.Skip("-") && reader.Month(time.tm_mon) && reader.Skip("-") &&
                    reader.Number(time.tm_year, 2) && reader.Skip(" ") && reader.Clock(time) &&
                    reader.Skip(" GMT") && reader.AtEnd();
  time.tm_year += time.tm_year < 70 ? 2000 : 1900;
  return read;
}

// "Sun Nov  6 08:49:37 1994"
bool ReadAsctime(std::string_view text, std::tm& time) {
  TDateReader reader(text);
  return reader.SkipWord() && reader.Skip(" ") && reader.Month(time.tm_mon) && reader.Skip(" ") &&
         reader.Number(time.tm_mday, 2, true) && reader.Skip(" ") && reader.Clock(time) &&
         reader.Skip(" ") && reader.Number(time.tm_year, 4) && reader.AtEnd();
}

}  // namespace

std::string FormatHttpDate(std::time_t time) {
  std::tm parts{};
  ::gmtime_r(&time, &parts);
  char text[40];
  const int length =
      std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                    kDays[static_cast<std::size_t>(parts.tm_wday)].data(), parts.tm_mday,
                    kMonths[static_cast<std::size_t>(parts.tm_mon)].data(), parts.tm_year + 1900,
                    parts.tm_hour, parts.tm_min, parts.tm_sec);
  return {text, static_cast<std::size_t>(length)};
}

const std::string& CurrentHttpDate() {
  thread_local std::time_t formattedSecond = -1;
  thread_local std::string formatted;
  const std::time_t now = std::time(nullptr);
  if (now != formattedSecond) {
    formatted = FormatHttpDate(now);
    formattedSecond = now;
  }
  return formatted;
}

std::optional<std::time_t> ParseHttpDate(std::string_view text) {
  std::tm time{};
  bool read = false;
  for (const auto reader : {ReadPreferred, ReadObsolete, ReadAsctime}) {
    time = {};
    if (reader(text, time)) {
      read = true;
      break;
    }
  }
  if (!read || time.tm_mday < 1 || time.tm_mday > 31 || time.tm_hour > 23 || time.tm_min > 59 ||
      time.tm_sec > 60) {
    return std::nullopt;
  }
  time.tm_year -= 1900;
  return ::timegm(&time);
}

bool UnmodifiedSince(std::string_view ifModifiedSince, std::time_t lastModified) {
  const auto since = ParseHttpDate(ifModifiedSince);
  return since && *since >= lastModified;
}

}  // namespace tomelet::serve
