// Asking for a document's password on the terminal without showing what is typed, or reading it
// from a file. Lines are read only so far: an endless line is refused.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::serve {

// The longest password line read; the options record holds far shorter ones.
inline constexpr std::size_t kMaxPasswordLine = 4096;
// The most lines a password file may have, one per document of a library.
inline constexpr std::size_t kMaxPasswordLines = 100000;

// Shows prompt on stderr and reads one line from stdin, with echo off when stdin is a terminal;
// without a terminal the prompt ends its own line. Raises std::runtime_error when stdin ends
// before a line (saying to use --password-file) or its line is longer than kMaxPasswordLine.
std::string PromptPassword(std::string_view prompt);

// A line of a password file: "NAME:password" for a document of a library, or a password alone.
// A UTF-8 byte order mark before the first line is left out, and so are spaces and tabs around
// the line, the NAME and the password, which an editor or a person typing add unseen.
struct TPasswordLine {
  std::size_t Number = 0;  // counted from 1
  std::string Whole;       // the line, as a password alone
  std::string Name;        // empty when the line has no ":"
  std::string Password;    // what follows the first ":"
};

// The lines of the file that hold anything. Raises std::runtime_error "Cannot read the password
// file PATH: ..." when it cannot be read or is empty, and when a line is longer than
// kMaxPasswordLine or there are more than kMaxPasswordLines.
std::vector<TPasswordLine> PasswordFileLines(const std::string& path);

// The password a file gives for the document named name: the password of its line "NAME:..."
// for that name, else its first line whole (the form for a single document). Raises as
// PasswordFileLines.
std::string PasswordFromFile(const std::string& path, std::string_view name);

// The password of each NAME, for the documents of a library, from the first line naming it.
std::map<std::string, std::string> NamedPasswords(const std::vector<TPasswordLine>& lines);

}  // namespace tomelet::serve
