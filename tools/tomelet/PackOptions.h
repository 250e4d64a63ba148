// The options record a packed document gets: the keys of an options file (its own form, or the
// output of `info --json` as it is) over defaults that make a usable window, with a start page
// guessed from the folder when none is named.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/ProjectOptions.h"
#include "tools/tomelet/PackInput.h"

namespace tomelet::cli {

// Keys the file leaves out take a 1024 x 768 sizeable centred window with tool bar, captions and
// status bar and every command allowed; a key the file gives keeps its value, zero included.
// Without a StartPage the start page is index.htm or index.html at the top of the folder, else its
// only top-level page. warn hears of a start page that names no file of the folder. Throws
// EOptionsError for an unreadable or invalid file.
TProjectOptions PackOptions(const std::string& optionsFile, const std::vector<PackFile>& files,
                            const std::function<void(const std::string&)>& warn);

}  // namespace tomelet::cli
