#include "serve/PasswordGate.h"

#include <array>

#include "document/DocumentEntries.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"
#include "serve/Replies.h"

namespace tomelet::serve {

namespace {

constexpr std::string_view kBase64Digits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::optional<std::string> DecodeBase64(std::string_view text) {
  while (text.ends_with('=')) {
    text.remove_suffix(1);
  }
  std::string decoded;
  std::uint32_t bits = 0;
  int held = 0;
  for (const char c : text) {
    const auto digit = kBase64Digits.find(c);
    if (digit == std::string_view::npos) {
      return std::nullopt;
    }
    bits = (bits << 6) | static_cast<std::uint32_t>(digit);
    held += 6;
    if (held >= 8) {
      held -= 8;
      decoded.push_back(static_cast<char>((bits >> held) & 0xFF));
    }
  }
  return decoded;
}

// A realm is a quoted string: quotes and backslashes escaped, control characters left out.
std::string QuotedRealm(std::string_view realm) {
  std::string quoted = "\"";
  for (const char c : realm) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      continue;
    }
    if (c == '"' || c == '\\') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::optional<std::string> BasicPassword(std::string_view authorization) {
  authorization = TrimmedBlanks(authorization);
  constexpr std::string_view kScheme = "basic ";
  if (!StartsWithFoldedAscii(authorization, kScheme)) {
    return std::nullopt;
  }
  const auto credentials = DecodeBase64(TrimmedBlanks(authorization.substr(kScheme.size())));
  if (!credentials) {
    return std::nullopt;
  }
  const auto colon = credentials->find(':');
  if (colon == std::string::npos) {
    return std::nullopt;
  }
  return credentials->substr(colon + 1);
}

TPasswordGate::TPasswordGate(std::string storedPassword, std::string_view realm)
    : stored_(std::move(storedPassword)),
      challenge_("Basic realm=" + QuotedRealm(realm) + ", charset=\"UTF-8\"") {}

bool TPasswordGate::Admits(std::string_view authorization) const {
  if (IsOpen()) {
    return true;
  }
  const auto given = BasicPassword(authorization);
  return given && PasswordMatches(*given, stored_);
}

TSiteResponse TPasswordGate::Challenge() const {
  TSiteResponse response = StatusPage(401, "Password Required",
                                      "This document asks for its password before anything of "
                                      "it is shown.");
  response.Headers.emplace_back("WWW-Authenticate", challenge_);
  response.Headers.emplace_back("Cache-Control", "no-store");
  return response;
}

}  // namespace tomelet::serve
