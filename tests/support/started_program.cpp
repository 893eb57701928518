#include "support/started_program.h"

#include "support/program_closing.h"

namespace escaner_test {

StartedProgram::StartedProgram(const std::wstring& exe, const std::wstring& arguments,
                               const std::wstring& folder)
    : commandLine_(L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments)) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring writable = commandLine_;  // CreateProcessW may write into it
  if (!CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info_)) {
    startError_ = GetLastError();
    info_ = {};
  }
}

StartedProgram::~StartedProgram() {
  if (!Started()) return;
  if (!WaitForEnd(0)) EndProcess(info_.hProcess);
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool StartedProgram::WaitForEnd(DWORD ms) const {
  return WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0;
}

std::optional<DWORD> StartedProgram::WaitForExit(DWORD ms) const {
  if (!WaitForEnd(ms)) return {};
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

}  // namespace escaner_test
