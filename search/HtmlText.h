// The readable text of one HTML page as the index sees it: title, language, and sections that
// start at headings and carry the anchor a result can point at.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::search {

// Bytes [Start, End) of a page.
struct TByteRange {
  std::size_t Start = 0;
  std::size_t End = 0;
};

// How much of a section's text its lead range covers: enough for the start of a snippet, even
// where a link bar is cut out of it.
inline constexpr std::size_t kLeadTextBytes = 1024;

struct TPageSection {
  std::string Anchor;            // id of the heading or of the element that opens it; may be empty
  std::string Heading;           // text of the heading; empty for the text before the first one
  std::string Text;              // body text, whitespace collapsed
  std::vector<std::string> Ids;  // ids of the heading and of the elements that open it
  bool IsDefinition = false;     // opened by a term being defined (<dt>), not a topic heading
  int Level = 0;                 // 1 to 6 for <h1> to <h6>; 0 for <dt> and the text before
  bool HeadingHasLink = false;   // part of the heading's text is a link (an index entry's target)
  // From the start tag that opens the section to the end of its first kLeadTextBytes of text,
  // so that SectionLead can read them from the page again; none when the page is not UTF-8,
  // whose offsets the parser does not keep.
  std::optional<TByteRange> Lead;
};

struct TPageText {
  std::string Title;
  std::string Language;  // the lang attribute of <html>, as written
  std::vector<TPageSection> Sections;
  // Mostly links (an alphabetical index, a module list): kept out of the body ranking.
  bool IsGeneratedIndex = false;
};

// Never throws on malformed markup: the parser repairs it as a browser would.
TPageText ExtractPageText(std::string_view html);

// The section's heading and text joined by a space, as a reader sees them.
std::string ShownText(const TPageSection& section);

// The shown text of the section whose lead range these bytes are, as ExtractPageText read it:
// the start of its text again, without keeping it. Never throws on malformed markup.
std::string SectionLead(std::string_view lead);

// Every link a page makes to another file, as written: the href of a, area and link elements,
// the src of img, script, iframe, frame, embed, source, audio and video, and an object's data.
// Never throws.
std::vector<std::string> PageLinks(std::string_view html);

}  // namespace tomelet::search
