// Arbitrary bytes read as a Devhelp book index (XML, or gzipped XML) by its importer.
#include "tests/fuzz/SourceFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tomelet::importer::FuzzSource(data, size, tomelet::importer::TSourceFormat::Devhelp);
}
