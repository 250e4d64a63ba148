// A Sphinx build's objects.inv: every documented name with its role ("py:function", "c:macro")
// and the page and anchor it is defined at, read as typed keywords.
#pragma once

#include <string_view>
#include <vector>

#include "document/DocumentMap.h"

namespace tomelet::importer {

// The names of the inventory, each typed by its role's name ("function", "class", "term");
// pages and section labels (std:doc, std:label) are left out, since the pages give their
// titles and headings. Throws std::runtime_error for a file that is not a version 2 inventory
// or inflates past 256 MiB.
std::vector<TKeyword> ReadSphinxInventory(std::string_view bytes);

}  // namespace tomelet::importer
