// Asking for a document's password on the terminal without showing what is typed.
#pragma once

#include <string>
#include <string_view>

namespace tomelet::serve {

// Shows prompt on stderr and reads one line from stdin, with echo off when stdin is a terminal.
// Raises std::runtime_error when stdin ends before a line.
std::string PromptPassword(std::string_view prompt);

}  // namespace tomelet::serve
