// Finding and waiting for the dialogs a test drives: the folder dialog and
// message boxes, in this process or in a started Escaner.exe. Every wait has
// a deadline.
#pragma once

#include <windows.h>

#include <string>

namespace escaner_test {

inline constexpr DWORD kWindowDeadlineMs = 30000;

// Polls `probe` until it holds or `timeoutMs` has passed.
template <typename Probe>
bool WaitFor(Probe probe, DWORD timeoutMs = kWindowDeadlineMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (probe()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

// Dialog children that tell the two dialogs apart.
inline constexpr int kFolderTreeId = 0x3741;   // the folder dialog's SysTreeView32
inline constexpr int kFolderTitleId = 0x3742;  // the static above the tree
inline constexpr int kMessageTextId = 0xFFFF;  // a message box's text

struct DialogSearch {
  DWORD pid;
  int childId;
  HWND found;
};

inline BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (owner == search.pid && IsWindowVisible(window) && std::wstring(className) == L"#32770" &&
      GetDlgItem(window, search.childId) != nullptr) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

// A visible top-level #32770 of process `pid` holding a child `childId`.
inline HWND FindDialog(DWORD pid, int childId) {
  DialogSearch search{pid, childId, nullptr};
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline HWND WaitForDialog(DWORD pid, int childId, DWORD timeoutMs = kWindowDeadlineMs) {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = FindDialog(pid, childId)) != nullptr; }, timeoutMs);
  return dialog;
}

// The folder dialog becomes visible before its tree is filled.
inline bool WaitForFilledTree(HWND dialog) {
  return WaitFor([&] {
    DWORD_PTR count = 0;
    return SendMessageTimeoutW(GetDlgItem(dialog, kFolderTreeId), 0x1105 /* TVM_GETCOUNT */, 0, 0,
                               SMTO_ABORTIFHUNG, 2000, &count) != 0 &&
           count > 0;
  });
}

// A window's text, through WM_GETTEXT (the window's thread must be pumping).
inline std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, &length);
  return std::wstring(text, length);
}

inline std::string AnsiTextOf(HWND window) {
  char text[1024] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, &length);
  return std::string(text, length);
}

inline BOOL CALLBACK CancelWindow(HWND window, LPARAM) {
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// The way out when a helper thread cannot find the modal window it was to
// answer: cancel and close every window of the test's thread, so the modal
// call returns and the test ends.
inline void CancelThreadWindows(DWORD thread) { EnumThreadWindows(thread, CancelWindow, 0); }

inline bool WaitUntilGone(HWND window) {
  return WaitFor([&] { return !IsWindow(window); });
}

}  // namespace escaner_test
