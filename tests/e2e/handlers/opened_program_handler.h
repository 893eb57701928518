// What the driver does, after the exe has ended, with the program its open
// request started (the viewer of the report): reports its windows until its
// title shows the loaded file, then closes it.
#pragma once

#include <windows.h>

#include "e2e/handlers/started_processes.h"

namespace escaner_test {

class OpenedProgramHandler {
 public:
  OpenedProgramHandler(StartedProcesses& started, double openWaitSeconds)
      : started_(started), openWaitSeconds_(openWaitSeconds) {}

  // "opened_window" for each title a window shows, then
  // "opened_program_closed" for each program.
  void WatchAndClose();

 private:
  StartedProcesses& started_;
  double openWaitSeconds_;
};

}  // namespace escaner_test
