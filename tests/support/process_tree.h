// The processes a program started, directly or through others (the shell's
// open request starts the viewer through a helper), from one snapshot.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace escaner_test {

// Every process below `root`, by pid, with its image name.
std::map<DWORD, std::wstring> DescendantsOf(DWORD root);

bool IsRunning(DWORD pid);

}  // namespace escaner_test
