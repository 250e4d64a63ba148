// Arbitrary bytes read as a Epub source by its importer.
#include "tests/fuzz/SourceFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tomelet::importer::FuzzSource(data, size, tomelet::importer::TSourceFormat::Epub);
}
