#include "Unit1/NavigationPolicy.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "SecurityManager/SecurityManager.h"
#include "Unit1/FileMasks.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/PercentEscapes.h"

namespace tomelet {

namespace {

// The root folder of the file system stands in for the root of the current drive.
constexpr std::string_view kRootFolder = "/";

bool ClimbsOut(std::string_view path) {
  if (path.starts_with('/'))
    return true;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (path.substr(start, end - start) == "..")
      return true;
    start = end + 1;
  }
  return false;
}

// The shell receives the path as written, but whoever reads it as a URI decodes its escapes,
// so both forms must stay below the current folder.
bool StaysBelowCurrentFolder(std::string_view path) {
  return !ClimbsOut(path) && !ClimbsOut(PercentDecoded(path, TPlusSign::Itself, TBadEscape::Kept));
}

// Every run before a ';' is a mask, empty runs included; text after the last ';' is none.
std::vector<std::string> SplitMaskList(std::string_view list) {
  std::vector<std::string> masks;
  std::size_t start = 0;
  for (std::size_t end = list.find(';'); end != std::string_view::npos;
       end = list.find(';', start)) {
    masks.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return masks;
}

}  // namespace

TNavigationPolicy::TNavigationPolicy(TProjectOptions& options, IShell& shell,
                                     TCurrentDirectory currentDirectory)
    : options_(options), shell_(shell), currentDirectory_(std::move(currentDirectory)) {}

TNavigationDecision TNavigationPolicy::BeforeNavigate2(std::string& url, TNavigationCause cause) {
  TNavigationDecision decision;
  if (url == kDocumentUrlPrefix || url == std::string(kDocumentUrlPrefix) + "/") {
    shell_.Open(std::string(kRootFolder));
    decision.Cancel = true;
    return decision;
  }
  const std::string lowered = FoldAscii(url);
  if (!lowered.starts_with(kDocumentUrlPrefix)) {
    decision.Cancel = decision.CloseMainWindow = lowered == kCloseUrl;
    return decision;
  }
  if (MatchesOpenOutsideMask(url, decision))
    return OpenOutside(url, cause);
  return decision;
}

// Appends the ';' that closes the last mask once; at 255 characters the cut takes it off again.
std::string TNavigationPolicy::MaskList() {
  std::string masks = options_.OpenOutsideMasks();
  if (masks.empty() || masks.back() != ';') {
    masks.push_back(';');
    masks.resize(std::min(masks.size(), TProjectOptions::kShortStringMax));
    options_.SetOpenOutsideMasks(masks);
  }
  return masks;
}

// An invalid mask cancels the navigation and says why instead of escaping the handler.
bool TNavigationPolicy::MatchesOpenOutsideMask(const std::string& url,
                                               TNavigationDecision& decision) {
  try {
    for (const std::string& mask : SplitMaskList(MaskList())) {
      if (TFileMask(mask).Matches(url))
        return true;
    }
  } catch (const EMaskException& error) {
    decision.Cancel = true;
    decision.StatusText = error.what();
  }
  return false;
}

// Paths keep '/' as their separator here; the expanded path must not leave the current folder.
// A page's own script, its start address or a redirect must not run a file of the reader's
// folder, so only the reader's click or key hands one over.
TNavigationDecision TNavigationPolicy::OpenOutside(std::string& url, TNavigationCause cause) {
  TNavigationDecision decision;
  decision.Cancel = true;
  url = url.substr(kDocumentUrlPrefix.size());
  if (!StaysBelowCurrentFolder(url)) {
    decision.StatusText = std::string(kOutsideFolderRefusal) + url;
    return decision;
  }
  if (cause != TNavigationCause::ReaderAction) {
    decision.StatusText = std::string(kUnaskedOpenRefusal) + url;
    return decision;
  }
  shell_.Open((currentDirectory_() / url).lexically_normal().string());
  return decision;
}

void QuerySecurityManagerService(const GUID& rsid, const GUID& iid, IUnknown& securityManager,
                                 ComPtr<IUnknown>& obj) {
  if (rsid != IID_IInternetSecurityManager || iid != rsid)
    return;
  obj.Reset();
  securityManager.QueryInterface(IID_IInternetSecurityManager, obj.PutVoid());
}

}  // namespace tomelet
