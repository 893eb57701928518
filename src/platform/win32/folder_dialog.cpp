// The system's folder-browse dialog, classic form.
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "platform/win32/ansi_text.h"
#include "platform/win32/win32_platform.h"

namespace escaner::win32 {
namespace {

// The longest path the system can name, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;

}  // namespace

std::optional<std::u16string> Win32Platform::BrowseForFolder(std::string_view title) {
  // The 260-byte buffer that shows the title while the dialog is open.
  char titleText[MAX_PATH] = {};
  title.copy(titleText, std::min<std::size_t>(title.size(), MAX_PATH - 1));

  BROWSEINFOA browse = {};
  browse.hwndOwner = nullptr;
  browse.pidlRoot = nullptr;  // the tree starts at the desktop
  browse.pszDisplayName = nullptr;
  browse.lpszTitle = titleText;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;  // 3: no edit box, no "new folder"
  browse.lpfn = nullptr;
  browse.lParam = 0;

  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
  if (chosen == nullptr) return std::nullopt;  // cancelled or closed
  // The chosen folder's own UTF-16 path, whole: a narrow or MAX_PATH buffer
  // would turn a name the code page lacks into a look-alike, or cut a long
  // path down to another folder's.
  std::wstring path(kLongestPath, L'\0');
  const BOOL hasPath = SHGetPathFromIDListEx(chosen, path.data(), kLongestPath, GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  if (!hasPath) return std::nullopt;  // an item with no file-system path
  path.resize(std::wcslen(path.c_str()));
  return FromWide(path);
}

}  // namespace escaner::win32
