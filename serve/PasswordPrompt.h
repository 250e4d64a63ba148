// Asking for a document's password on the terminal without showing what is typed, or reading it
// from a file. Lines are read only so far: an endless line is refused.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tomelet::serve {

// The longest password line read; the options record holds far shorter ones.
inline constexpr std::size_t kMaxPasswordLine = 4096;
// The most lines a password file may have, one per document of a library.
inline constexpr std::size_t kMaxPasswordLines = 100000;

// Shows prompt on stderr and reads one line from stdin, with echo off when stdin is a terminal;
// without a terminal the prompt ends its own line. Raises std::runtime_error when stdin ends
// before a line (saying to use --password-file) or its line is longer than kMaxPasswordLine.
std::string PromptPassword(std::string_view prompt);

// The password a file gives for the document named name: the rest of its line "NAME:password"
// for that name, else its first line whole (the form for a single document), without the line
// break. Raises std::runtime_error "Cannot read the password file PATH: ..." when it cannot be
// read or is empty, and when a line is longer than kMaxPasswordLine or there are more than
// kMaxPasswordLines.
std::string PasswordFromFile(const std::string& path, std::string_view name);

// The lines "NAME:password" of the file, for the documents of a library, by NAME; lines without
// a colon are left out. Read as PasswordFromFile reads it, with its limits, and raises as it does.
std::map<std::string, std::string> NamedPasswordsFromFile(const std::string& path);

}  // namespace tomelet::serve
