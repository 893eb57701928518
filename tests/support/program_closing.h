// Ending what a driven program started (the viewer the shell's open request
// opened), politely first: its windows are asked to close, and only what is
// still running at the deadline is terminated.
#pragma once

#include <windows.h>

#include "support/deadline.h"

namespace escaner_test {

enum class ClosedBy { NotOpened, WmClose, Terminate };

// Posts WM_CLOSE to every top-level window of `pid`, again and again (the
// program may not have made its window yet), until it ends or the deadline
// passes; then terminates it. NotOpened: no such process to close.
ClosedBy CloseProgram(DWORD pid, const Deadline& deadline);

// Terminates a process and waits (bounded) until it has gone.
void EndProcess(HANDLE process);
void EndProcess(DWORD pid);

}  // namespace escaner_test
