// Reads arbitrary bytes as a "-config-" record: every field, the start address, and the JSON
// form that `tomelet info` prints and `tomelet pack` reads, which must give the record back.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "document/DocumentAddress.h"
#include "document/ProjectOptions.h"
#include "platform/text/Codepage.h"
#include "tools/tomelet/OptionsJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tomelet::TProjectOptions options;
  options.Read(std::as_bytes(std::span(data, size)));
  const std::string url = tomelet::StartUrl(options.StartPageOption());
  if (!url.starts_with(tomelet::kDocumentUrlPrefix)) {
    std::abort();
  }
  tomelet::UrlToArchivePath(url);
  const std::string printed = tomelet::cli::OptionsToJson(options).dump();
  bool fitsBack = true;
  for (const auto& field : tomelet::kProjectOptionFields) {
    if (field.Kind == tomelet::TOptionKind::ShortString) {
      fitsBack = fitsBack && tomelet::DisplayText(options.ShortStringAt(field.Offset)).size() <=
                                 tomelet::TProjectOptions::kShortStringMax;
    }
  }
  // A Windows-1252 text can grow past 255 bytes as UTF-8; pack must then refuse it by name.
  if (!fitsBack) {
    try {
      tomelet::cli::OptionsFromJson(nlohmann::json::parse(printed));
    } catch (const tomelet::cli::EOptionsError&) {
      return 0;
    }
    std::abort();
  }
  const auto again = tomelet::cli::OptionsFromJson(nlohmann::json::parse(printed));
  for (const auto& field : tomelet::kProjectOptionFields) {
    const std::size_t at = field.Offset;
    const bool same = field.Kind == tomelet::TOptionKind::Integer
                          ? again.IntegerAt(at) == options.IntegerAt(at)
                      : field.Kind == tomelet::TOptionKind::Boolean
                          ? again.BooleanAt(at) == options.BooleanAt(at)
                          : tomelet::DisplayText(again.ShortStringAt(at)) ==
                                tomelet::DisplayText(options.ShortStringAt(at));
    if (!same) {
      std::abort();
    }
  }
  return 0;
}
