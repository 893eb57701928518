// The driver's `run` mode: starts Escaner.exe, meets each of its windows as
// it appears and hands it to the handler for its kind (folder dialog,
// progress strip, message box), then deals with what the open request
// started, and reports the exit code. Every wait has a deadline: when the
// exe does not finish in time the driver reports "hung", waits (bounded) for
// the caller to take a screenshot and create the hang flag file, then kills
// the exe and what it started.
#pragma once

#include <string>

namespace escaner_test {

struct RunOptions {
  std::wstring exe;
  std::wstring cwd;
  std::wstring args;
  std::wstring choose;  // empty: cancel
  double timeout = 60;
  double openWait = 10;
  std::wstring hangFlag;
  double probeStripMs = 0;  // 0: the strip is sent nothing
};

// The driver's exit code: 0 the exe ended, 2 it hung, 3 it did not start.
int DriveRun(const RunOptions& options);

}  // namespace escaner_test
