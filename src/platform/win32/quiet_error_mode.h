// The error mode every file call runs under.
#pragma once

#include <windows.h>

namespace escaner::win32 {

// A drive without a medium or an unreadable volume fails the call instead of
// asking the user.
inline constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
static_assert(kQuietErrorMode == 0x8001);

// Runs one file call with the quiet error mode in force and puts the
// previous mode back right after it. The mode is process-wide, so it is held
// for the single call only, never across the scan.
template <typename FileCall>
auto Quietly(FileCall call) {
  struct Restore {
    UINT previous;
    ~Restore() { SetErrorMode(previous); }
  } restore{SetErrorMode(kQuietErrorMode)};
  return call();
}

}  // namespace escaner::win32
