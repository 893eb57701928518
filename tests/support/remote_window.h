// Reading the windows and memory of another process, as the drivers do with
// Escaner.exe under Wine. Nothing here sends a message without a deadline:
// the progress strip's thread runs no message loop during a scan, so a plain
// SendMessage to it would wait until the scan ends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <set>
#include <string>
#include <vector>

namespace escaner_test {

std::wstring ClassOf(HWND window);
std::wstring Lower(std::wstring text);
DWORD ProcessOf(HWND window);

// The window text as the system stores it; sends nothing to the window.
std::wstring StoredText(HWND window);
// WM_GETTEXT with a deadline, for windows whose thread runs a message loop
// (a static's text lives in the control); the stored text when it does not
// answer in time.
std::wstring SentText(HWND window);

// A message sent with a deadline of `ms`; `answered` says whether it came
// back in time.
LRESULT SendWithDeadline(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD ms,
                         bool* answered = nullptr);

// Top-level windows, visible or not: of any process in `pids`, or of one
// thread (lighter: no walk over every window of the desktop).
std::vector<HWND> TopLevelWindowsOf(const std::set<DWORD>& pids);
std::vector<HWND> TopLevelWindowsOfThread(DWORD thread);
std::vector<HWND> ChildrenOf(HWND parent);

// A block in another process's address space, for messages whose pointers
// the receiving window procedure dereferences.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, SIZE_T size);
  ~RemoteBlock();
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  bool Ok() const { return address_ != nullptr; }
  LPARAM At(SIZE_T offset) const;
  bool Write(SIZE_T offset, const void* data, SIZE_T size) const;
  bool Read(SIZE_T offset, void* data, SIZE_T size) const;

 private:
  HANDLE process_;
  void* address_ = nullptr;
};

// The text of a tree item, read through a TVITEMW in the other process.
std::wstring TreeItemText(HANDLE process, HWND tree, HTREEITEM item);

}  // namespace escaner_test
