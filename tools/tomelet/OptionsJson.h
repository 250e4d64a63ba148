// The project options record as JSON, keyed by the record's field names; `info` writes this
// form and `pack` reads it.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "document/ProjectOptions.h"

namespace tomelet::cli {

class EOptionsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Texts are shown as UTF-8 (converted from Windows-1252 where they are not UTF-8 already).
nlohmann::ordered_json OptionsToJson(const TProjectOptions& options);

// Missing keys stay zero or empty. Unknown keys, values of the wrong type, integers outside 32
// bits and texts over 255 bytes throw EOptionsError naming the key.
TProjectOptions OptionsFromJson(const nlohmann::json& json);

}  // namespace tomelet::cli
