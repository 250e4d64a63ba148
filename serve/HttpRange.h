// The request headers that shape a reply: byte ranges, content codings and entity tags.
#pragma once

#include <cstdint>
#include <string_view>

namespace tomelet::serve {

struct TByteRange {
  enum class Kind { Whole, Part, Unsatisfiable };
  Kind Verdict = Kind::Whole;
  std::int64_t First = 0;
  std::int64_t Length = 0;
};

// One "bytes=" range against a body of the given size. Several ranges, another unit or a
// malformed value ask for the whole body, which a server may always answer instead.
TByteRange ParseByteRange(std::string_view header, std::int64_t size);

// Whether an Accept-Encoding value admits "deflate" (explicitly or through "*") with a quality
// above zero.
bool AcceptsDeflate(std::string_view acceptEncoding);

// Whether an If-None-Match value names the tag, or is "*"; weak tags compare by their opaque part.
bool MatchesEntityTag(std::string_view ifNoneMatch, std::string_view tag);

}  // namespace tomelet::serve
