// A library's password file checked against the documents it names, so that a mistake in it is
// told when the server starts or reloads rather than found by clients as 403 on every request.
#pragma once

#include <string>
#include <vector>

#include "library/Library.h"
#include "serve/PasswordPrompt.h"

namespace tomelet::serve {

struct TPasswordLineProblem {
  // True when the line can never open a document (no NAME, a wrong password); false when it
  // names no document served now, which may yet come, or one without a password.
  bool Fatal = false;
  std::string Message;  // "Line N of the password file PATH ...: why"
};

// What is wrong with each line, against the documents served now; the documents named are
// opened to read their password. Never throws.
std::vector<TPasswordLineProblem> CheckPasswordLines(const std::vector<TPasswordLine>& lines,
                                                     const library::TLibrary& library,
                                                     const std::string& path);

}  // namespace tomelet::serve
