// The folder of the running executable, from its whole path however long.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace escaner::win32 {

// The longest path the system has: 32,767 characters and the closing NUL.
inline constexpr DWORD kLongestPath = 32768;

// Fills `buffer` of `capacity` characters with the executable's path the way
// GetModuleFileNameW does: the length on success, `capacity` (and a cut
// path) when the path does not fit, 0 on failure.
using ModulePathQuery = std::function<DWORD(wchar_t* buffer, DWORD capacity)>;

// The executable's folder with its trailing backslash. The query starts with
// `firstCapacity` characters and gets a larger buffer each time its answer
// is cut, up to kLongestPath. Nothing when the query fails, the path does
// not fit even then, or it holds no backslash: a cut path's last backslash
// would name a folder above the executable's.
std::optional<std::wstring> ExecutableFolder(DWORD firstCapacity, const ModulePathQuery& query);

// The same for this process, GetModuleFileNameW starting at MAX_PATH.
std::optional<std::wstring> ExecutableFolder();

}  // namespace escaner::win32
