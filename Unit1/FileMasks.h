// File masks of the open-outside list: '*', '?', sets such as [a-z] or [!0-9], letters compared
// without regard to case, a UTF-8 sequence counted as one character.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet {

// Raised when a mask cannot be built; the message names the mask and the 1-based position.
class EMaskException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A mask compiled once and then tested against any number of texts.
class TFileMask {
 public:
  // Throws EMaskException with "'<mask>' is an invalid mask at (<position>)".
  explicit TFileMask(std::string_view mask);

  // True when the mask matches the whole text.
  bool Matches(std::string_view text) const;

  ~TFileMask();

  // The most elements a mask may hold directly after its '*' wildcards.
  static constexpr int kMaxWildcards = 30;

  struct Element;

 private:
  std::vector<Element> elements_;
};

}  // namespace tomelet
