// Files of the document that the engine cannot show: saved or opened as the reader chooses.
#include <fstream>
#include <string>

#include "WebHost/EngineView.h"
#include "WebHost/SchemeBridge.h"
#include "WebHost/Urls.h"

namespace tomelet {
namespace {

int FailureStatus(const RequestResult& result) {
  if (result.Outcome == RequestOutcome::NotFound)
    return 404;
  return FAILED(result.Result) ? result.Result : E_FAIL;
}

}  // namespace

// Nothing opens without the reader's word: a page's script or redirect may ask for the file too.
void TEngineView::OfferDownload(const std::string& url) {
  if (!host_.AskDownload)
    return;
  const std::string name = AddressName(url);
  switch (host_.AskDownload(name)) {
    case TDownloadChoice::Open:
      OpenAsFile(url);
      break;
    case TDownloadChoice::Save:
      if (host_.ChooseSaveFile)
        if (const auto target = host_.ChooseSaveFile(name))
          SaveAsFile(url, *target);
      break;
    case TDownloadChoice::Cancel:
      break;
  }
}

// The desktop's program gets the file the protocol handler extracts into the private folder.
void TEngineView::OpenAsFile(const std::string& url) {
  const RequestResult result = FetchThroughSession(view_, url, true);
  if (result.Outcome != RequestOutcome::Served || result.CacheFileName.empty()) {
    RaiseNavigateError(url, FailureStatus(result));
    return;
  }
  if (host_.OpenWithDefaultProgram)
    host_.OpenWithDefaultProgram(result.CacheFileName);
}

void TEngineView::SaveAsFile(const std::string& url, const std::filesystem::path& target) {
  const RequestResult result = FetchThroughSession(view_, url, false);
  if (result.Outcome != RequestOutcome::Served) {
    RaiseNavigateError(url, FailureStatus(result));
    return;
  }
  std::ofstream file(target, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(result.Bytes.data()),
             static_cast<std::streamsize>(result.Bytes.size()));
  file.close();
  if (!file)
    ShowError(ParentWindow(), "Cannot save the file " + target.string());
}

}  // namespace tomelet
