// The reader's place in the document: recalled at start-up, kept when the window closes.
#include "Unit1/Form1Logic.h"
#include "document/DocumentAddress.h"
#include "document/DocumentRequest.h"

namespace tomelet {

// Only a document whose password was given gets here, so nothing of a locked one is kept.
void TForm1Logic::RecallPlace() {
  documentKey_ = DocumentKey(arc_.Trailer(), document_->Identity().Size);
  rememberedPlace_ = TPlaceStore(PlaceFolder).Load(documentKey_);
}

void TForm1Logic::ApplyRememberedPlace() {
  if (!rememberedPlace_)
    return;
  const auto& place = *rememberedPlace_;
  if (place.SidePane && documentMap_)
    ButtonSidePaneClick();
  if (place.WindowSize && BorderFromCode(projectOptions_.WindowBorder()) == TWindowBorder::Sizeable)
    view_.SetOuterSize(place.WindowSize->first, place.WindowSize->second);
  if (place.TextSize != kDefaultTextSize && projectOptions_.AllowFontSize()) {
    try {
      Largest1Click(place.TextSize);
    } catch (const std::exception&) {
      // A browser that refuses the size shows the medium one, as on a first start.
    }
  }
}

bool TForm1Logic::DocumentHasPage(const std::string& address) {
  if (!HasDocumentPrefix(address))
    return false;
  // Looked up as the protocol handler will, so a folder address counts by its index page.
  if (!document_)
    return false;
  const TEntryLocation location =
      LocateEntry(*document_, std::string_view(address).substr(kDocumentUrlPrefix.size()));
  return !IsReservedEntry(location.RequestedPath) && location.Entry.Found();
}

void TForm1Logic::RememberPlace() {
  if (documentKey_.empty())
    return;
  const TPagePosition position = view_.PagePosition();
  if (!HasDocumentPrefix(position.Address))
    return;
  TRememberedPlace place = PlaceOfAddress(position.Address);
  place.ScrollX = position.ScrollX;
  place.ScrollY = position.ScrollY;
  place.TextSize = textSize_;
  place.SidePane = sidePaneShown_;
  if (BorderFromCode(projectOptions_.WindowBorder()) == TWindowBorder::Sizeable)
    place.WindowSize = view_.WindowSize();
  TPlaceStore(PlaceFolder).Save(documentKey_, place);
}

}  // namespace tomelet
