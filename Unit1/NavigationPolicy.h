// Where each navigation of the page goes: pages of the document load from the archive, files
// that match an open-outside mask go to the desktop's default program when the reader asked for
// them, the bare document root opens the root folder, "about:close" closes the viewer and
// everything else loads as usual.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "Unit1/MainWindowView.h"
#include "document/DocumentAddress.h"
#include "document/ProjectOptions.h"
#include "platform/com/Com.h"
#include "platform/webbrowser/WebBrowser.h"

namespace tomelet {

inline constexpr std::string_view kCloseUrl = "about:close";
inline constexpr std::string_view kOutsideFolderRefusal =
    "Refused to open a file outside the current folder: ";
inline constexpr std::string_view kUnaskedOpenRefusal =
    "Refused to open a file without a click or a key: ";

// What the window does after a navigation has been decided.
struct TNavigationDecision {
  bool Cancel = false;
  bool CloseMainWindow = false;
  std::optional<std::string> StatusText;
};

class TNavigationPolicy {
 public:
  using TCurrentDirectory = std::function<std::filesystem::path()>;

  // The policy appends one ';' to the options' mask list the first time it needs it.
  TNavigationPolicy(
      TProjectOptions& options, IShell& shell,
      TCurrentDirectory currentDirectory = [] { return std::filesystem::current_path(); });

  // May rewrite url to the document-relative path of a file handed to the shell. Only a
  // navigation the reader started hands a masked file over; any other is cancelled and says so.
  TNavigationDecision BeforeNavigate2(std::string& url, TNavigationCause cause);

 private:
  std::string MaskList();
  bool MatchesOpenOutsideMask(const std::string& url, TNavigationDecision& decision);
  TNavigationDecision OpenOutside(std::string& url, TNavigationCause cause);

  TProjectOptions& options_;
  IShell& shell_;
  TCurrentDirectory currentDirectory_;
};

// Hands out the URL security manager when the browser asks for it as service and interface;
// every other request leaves obj untouched.
void QuerySecurityManagerService(const GUID& rsid, const GUID& iid, IUnknown& securityManager,
                                 ComPtr<IUnknown>& obj);

}  // namespace tomelet
