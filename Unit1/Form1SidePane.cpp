// The main window's side pane: shown or hidden by the reader, its map read on first showing.
#include "Unit1/Form1Logic.h"

namespace tomelet {

void TForm1Logic::ButtonSidePaneClick() {
  if (!documentMap_)
    return;
  sidePaneShown_ = !sidePaneShown_;
  PrepareMapOnceLoaded();
  view_.ShowSidePane(sidePaneShown_);
}

void TForm1Logic::PrepareMapOnceLoaded() {
  if (sidePaneShown_ && firstPageLoaded_ && documentMap_)
    documentMap_->Prepare();
}

std::vector<search::TOutlineHeading> TForm1Logic::PageOutline(const std::string& address) {
  return document_ ? PageOutlineAt(*document_, address) : std::vector<search::TOutlineHeading>();
}

}  // namespace tomelet
