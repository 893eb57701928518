#include "support/folder_selection.h"

#include <commctrl.h>
#include <shlobj.h>

#include "support/dialog_ids.h"
#include "support/remote_window.h"

namespace escaner_test {

long WaitForFilledTree(HWND dialog, const Deadline& deadline) {
  HWND tree = GetDlgItem(dialog, kFolderTreeId);
  long count = 0;
  PollUntil(
      [&] {
        count = static_cast<long>(SendWithDeadline(tree, TVM_GETCOUNT, 0, 0, 1000));
        return count > 0;
      },
      deadline);
  return count;
}

std::vector<std::wstring> SelectionChain(HANDLE process, HWND tree) {
  std::vector<std::wstring> chain;
  auto item =
      reinterpret_cast<HTREEITEM>(SendWithDeadline(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, 2000));
  while (item && chain.size() < 64) {
    chain.push_back(TreeItemText(process, tree, item));
    item = reinterpret_cast<HTREEITEM>(
        SendWithDeadline(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item), 2000));
  }
  return chain;
}

bool SelectionMatches(const std::vector<std::wstring>& chain, const std::wstring& folder) {
  if (chain.empty() || folder.size() < 2) return false;
  std::wstring path = folder;
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  const std::wstring drive = Lower(path.substr(0, 2));
  bool driveSeen = false;
  for (const auto& text : chain)
    if (Lower(text).find(drive) != std::wstring::npos) driveSeen = true;
  if (!driveSeen) return false;
  if (path.size() <= 3) return Lower(chain.front()).find(drive) != std::wstring::npos;
  const std::wstring last = path.substr(path.find_last_of(L'\\') + 1);
  return Lower(chain.front()) == Lower(last);
}

namespace {

std::string AnsiOf(const std::wstring& wide) {
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  return narrow;  // with its terminating NUL
}

}  // namespace

FolderChoice AnswerWithFolder(HANDLE process, HWND dialog, const std::wstring& folder,
                              const Deadline& deadline) {
  constexpr int kAttempts = 5;
  FolderChoice choice;
  HWND tree = GetDlgItem(dialog, kFolderTreeId);
  const std::string path = AnsiOf(folder);
  {
    // Freed before OK is posted: under Wine freeing another process's memory
    // makes that process run, and it would then act on the OK at once.
    RemoteBlock block(process, path.size());
    if (block.Ok() && block.Write(0, path.data(), path.size())) {
      const Deadline tries = deadline.Within(10);
      while (choice.attempts < kAttempts && !choice.matched && !tries.Passed()) {
        ++choice.attempts;
        SendWithDeadline(dialog, BFFM_SETSELECTIONA, TRUE, block.At(0), tries.RemainingMs());
        choice.selection = SelectionChain(process, tree);
        choice.matched = SelectionMatches(choice.selection, folder);
        if (!choice.matched) Sleep(300);
      }
    }
  }
  PostMessageW(dialog, WM_COMMAND, choice.matched ? IDOK : IDCANCEL, 0);
  return choice;
}

}  // namespace escaner_test
