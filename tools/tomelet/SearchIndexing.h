// What `search`, `index`, `pack` and `verify` share about building and opening the document's
// search index (the viewer's search session is a different thing, in Unit1/DocumentSearch).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "search/DocumentIndex.h"

namespace tomelet::cli {

struct PackFile;

// Settings whose language is the override when given, else the lang of the start page among
// files (startPageOption as written in the options).
search::TIndexSettings PackIndexSettings(const std::vector<PackFile>& files,
                                         const std::string& startPageOption,
                                         const std::string& language);

// A progress line on stderr while a document is indexed, shown only on a terminal.
search::TIndexProgress IndexingProgress();

}  // namespace tomelet::cli
