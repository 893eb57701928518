// The \\?\ form that lets a file call take a path of MAX_PATH or more.
#pragma once

#include <string>

namespace escaner::win32 {

// Rewrites an absolute path of MAX_PATH characters or more into the long
// form: C:\dir\... becomes \\?\C:\dir\..., \\server\share\... becomes
// \\?\UNC\server\share\.... Shorter paths, relative ones and paths already in
// a \\?\ or \\.\ form are left as they are.
void UseLongPathForm(std::wstring& path);

}  // namespace escaner::win32
