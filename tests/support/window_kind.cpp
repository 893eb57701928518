#include "support/window_kind.h"

#include "support/dialog_ids.h"
#include "support/remote_window.h"

namespace escaner_test {

WindowKind Classify(HWND window) {
  const std::wstring cls = ClassOf(window);
  if (cls == L"Notepad") return WindowKind::Notepad;
  if (cls != L"#32770") return WindowKind::Other;
  HWND tree = GetDlgItem(window, kFolderTreeId);
  if (tree && ClassOf(tree) == L"SysTreeView32") return WindowKind::FolderDialog;
  for (HWND child : ChildrenOf(window))
    if (ClassOf(child) == L"msctls_progress32") return WindowKind::Strip;
  if (GetDlgItem(window, kMessageTextId)) return WindowKind::MessageBox;
  return WindowKind::Other;
}

const char* KindName(WindowKind kind) {
  switch (kind) {
    case WindowKind::FolderDialog:
      return "folder_dialog";
    case WindowKind::Strip:
      return "strip";
    case WindowKind::MessageBox:
      return "message_box";
    case WindowKind::Notepad:
      return "notepad";
    case WindowKind::Other:
      return "other";
  }
  return "other";
}

}  // namespace escaner_test
