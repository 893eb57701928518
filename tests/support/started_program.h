// A program started as a user would start it, ended for sure when its owner
// is done with it: a driver or test that stops early leaves nothing running.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace escaner_test {

class StartedProgram {
 public:
  // Starts `exe` with the command line `"exe" arguments`, in `folder` (empty:
  // this process's current folder).
  StartedProgram(const std::wstring& exe, const std::wstring& arguments,
                 const std::wstring& folder = L"");
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  bool Started() const { return info_.hProcess != nullptr; }
  DWORD StartError() const { return startError_; }
  const std::wstring& CommandLine() const { return commandLine_; }
  HANDLE Process() const { return info_.hProcess; }
  DWORD Pid() const { return info_.dwProcessId; }
  DWORD MainThread() const { return info_.dwThreadId; }

  // Whether it has ended within `ms`.
  bool WaitForEnd(DWORD ms) const;
  // The exit code, or nothing when it has not ended within `ms`.
  std::optional<DWORD> WaitForExit(DWORD ms) const;

 private:
  std::wstring commandLine_;
  PROCESS_INFORMATION info_ = {};
  DWORD startError_ = 0;
};

}  // namespace escaner_test
