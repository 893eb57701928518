#include "support/program_closing.h"

#include "support/remote_window.h"

namespace escaner_test {

ClosedBy CloseProgram(DWORD pid, const Deadline& deadline) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (!process) return ClosedBy::NotOpened;
  bool ended = false;
  do {
    for (HWND window : TopLevelWindowsOf({pid})) PostMessageW(window, WM_CLOSE, 0, 0);
    ended = WaitForSingleObject(process, 100) == WAIT_OBJECT_0;
  } while (!ended && !deadline.Passed());
  if (!ended) EndProcess(process);
  CloseHandle(process);
  return ended ? ClosedBy::WmClose : ClosedBy::Terminate;
}

void EndProcess(HANDLE process) {
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
}

void EndProcess(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  EndProcess(process);
  CloseHandle(process);
}

}  // namespace escaner_test
