// The small HTML page that goes with a status that is not a served entry: errors, redirects,
// refusals; the same for the site and for the transport's own answers to malformed requests.
#pragma once

#include <string_view>

#include "serve/DocumentSite.h"

namespace tomelet::serve {

// message is plain text, escaped here; links is HTML added below it as it stands.
TSiteResponse StatusPage(int status, std::string_view title, std::string_view message,
                         std::string_view links = {});

}  // namespace tomelet::serve
