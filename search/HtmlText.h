// The readable text of one HTML page as the index sees it: title, language, and sections that
// start at headings and carry the anchor a result can point at.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tomelet::search {

struct TPageSection {
  std::string Anchor;            // id of the heading or of the element that opens it; may be empty
  std::string Heading;           // text of the heading; empty for the text before the first one
  std::string Text;              // body text, whitespace collapsed
  std::vector<std::string> Ids;  // ids of the heading and of the elements that open it
  bool IsDefinition = false;     // opened by a term being defined (<dt>), not a topic heading
  int Level = 0;                 // 1 to 6 for <h1> to <h6>; 0 for <dt> and the text before
  bool HeadingHasLink = false;   // part of the heading's text is a link (an index entry's target)
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

// Every link a page makes to another file, as written: the href of a, area and link elements,
// the src of img, script, iframe, frame, embed, source, audio and video, and an object's data.
// Never throws.
std::vector<std::string> PageLinks(std::string_view html);

}  // namespace tomelet::search
