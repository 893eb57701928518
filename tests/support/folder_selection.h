// Choosing a folder in the system's folder dialog from outside it, as a user
// would: the one way the end-to-end driver, the benchmark's driver and the
// Win32 tests answer the dialog.
//
// The path is written into the dialog's process and selected with
// BFFM_SETSELECTIONA; the selected item is then read back and compared with
// the path (by the innermost name and the drive, since item names are
// localised and drive items decorated). The dialog may still be filling its
// tree, so the selection is tried up to five times within ten seconds. A
// selection that never matches is cancelled rather than confirmed: OK on
// the wrong item would scan some other tree (the desktop, a whole drive).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/deadline.h"

namespace escaner_test {

// The tree's item count once it has items: the dialog shows itself before
// it fills its tree. 0 when it has none by the deadline.
long WaitForFilledTree(HWND dialog, const Deadline& deadline);

// The selected item's text and those of its ancestors, innermost first.
std::vector<std::wstring> SelectionChain(HANDLE process, HWND tree);

// Whether `chain` shows `folder` (a path such as T:\ or T:\a\b): the
// innermost name is the last path element (the drive item for a root) and
// the drive letter is among the items.
bool SelectionMatches(const std::vector<std::wstring>& chain, const std::wstring& folder);

struct FolderChoice {
  int attempts = 0;
  bool matched = false;                 // confirmed with OK; otherwise cancelled
  std::vector<std::wstring> selection;  // the last chain read
};

// Selects `folder` in `dialog` (owned by `process`, which may be this one),
// then posts OK when the selection matches and Cancel when it never did.
FolderChoice AnswerWithFolder(HANDLE process, HWND dialog, const std::wstring& folder,
                              const Deadline& deadline);

}  // namespace escaner_test
