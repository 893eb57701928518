// What the driver does with a message box: reports its texts, its buttons,
// whether the strip was still up and what had been started before it, then
// presses OK and waits for it to go.
#pragma once

#include <windows.h>

#include <set>

#include "e2e/handlers/started_processes.h"
#include "e2e/handlers/strip_handler.h"
#include "support/deadline.h"

namespace escaner_test {

class MessageBoxHandler {
 public:
  MessageBoxHandler(StartedProcesses& started, const StripHandler& strip,
                    const escaner_test::Deadline& deadline)
      : started_(started), strip_(strip), deadline_(deadline) {}

  // Answers each box once ("message_box", "message_box_dismissed").
  void Meet(HWND box);

 private:
  StartedProcesses& started_;
  const StripHandler& strip_;
  const escaner_test::Deadline& deadline_;
  std::set<HWND> answered_;
};

}  // namespace escaner_test
