// The system's folder-browse dialog, classic form.
#include <shlobj.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace escaner::win32 {

std::optional<std::string> Win32Platform::BrowseForFolder(std::string_view title) {
  // One 260-byte buffer shows the title while the dialog is open and then
  // receives the chosen path.
  char path[MAX_PATH] = {};
  title.copy(path, std::min<std::size_t>(title.size(), MAX_PATH - 1));

  BROWSEINFOA browse = {};
  browse.hwndOwner = nullptr;
  browse.pidlRoot = nullptr;  // the tree starts at the desktop
  browse.pszDisplayName = nullptr;
  browse.lpszTitle = path;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;  // 3: no edit box, no "new folder"
  browse.lpfn = nullptr;
  browse.lParam = 0;

  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
  if (chosen == nullptr) return std::nullopt;  // cancelled or closed
  const BOOL hasPath = SHGetPathFromIDListA(chosen, path);
  CoTaskMemFree(chosen);
  if (!hasPath) return std::nullopt;  // an item with no file-system path
  return std::string(path);
}

}  // namespace escaner::win32
