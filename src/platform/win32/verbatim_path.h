// The \\?\ form, in which the system takes a path literally: no trailing dot
// or blank dropped, no device name (NUL, AUX, COM1 ...) recognised in a file
// name, no MAX_PATH limit.
#pragma once

#include <string>
#include <string_view>

namespace escaner::win32 {

// `path` in the form every file-system call on a walked path uses:
// C:\dir\... becomes \\?\C:\dir\..., \\server\share\... becomes
// \\?\UNC\server\share\..., whatever their length. The walk's paths are
// listed names joined by backslashes, so the literal form names exactly the
// listed files. Paths already in a \\?\ or \\.\ form, and relative ones, are
// copied as they are. Reuses the storage `verbatim` already has.
void MakeVerbatimPath(std::u16string_view path, std::wstring& verbatim);

// The report's path, rewritten only when the ordinary form cannot carry it
// (MAX_PATH characters or more), in the same two ways. Shorter paths keep
// their ordinary meaning.
void UseLongPathForm(std::wstring& path);

}  // namespace escaner::win32
