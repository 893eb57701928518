// Finding and waiting for the dialogs a test drives: the folder dialog and
// message boxes, in this process or in a started Escaner.exe. Every wait has
// a deadline, on the clock of the test-support library (support/).
#pragma once

#include <windows.h>

#include <string>

#include "support/deadline.h"
#include "support/dialog_ids.h"
#include "support/folder_selection.h"
#include "support/remote_window.h"

namespace escaner_test {

inline constexpr DWORD kWindowDeadlineMs = 30000;

inline Deadline WindowDeadline(DWORD timeoutMs = kWindowDeadlineMs) {
  return Deadline(timeoutMs / 1000.0);
}

// Polls `probe` until it holds or `timeoutMs` has passed.
template <typename Probe>
bool WaitFor(Probe probe, DWORD timeoutMs = kWindowDeadlineMs) {
  return PollUntil(probe, WindowDeadline(timeoutMs));
}

// A visible top-level #32770 of process `pid` holding a child `childId`
// (kFolderTreeId: the folder dialog; kMessageTextId: a message box).
inline HWND FindDialog(DWORD pid, int childId) {
  for (HWND window : TopLevelWindowsOf({pid}))
    if (IsWindowVisible(window) && ClassOf(window) == L"#32770" && GetDlgItem(window, childId))
      return window;
  return nullptr;
}

inline HWND WaitForDialog(DWORD pid, int childId, DWORD timeoutMs = kWindowDeadlineMs) {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = FindDialog(pid, childId)) != nullptr; }, timeoutMs);
  return dialog;
}

// The folder dialog becomes visible before its tree is filled.
inline bool WaitForFilledTree(HWND dialog) {
  return WaitForFilledTree(dialog, WindowDeadline()) > 0;
}

// A window's text, through WM_GETTEXT (the window's thread must be pumping).
inline std::wstring TextOf(HWND window) { return SentText(window); }

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
