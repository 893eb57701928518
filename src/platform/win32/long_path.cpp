#include "platform/win32/long_path.h"

#include <windows.h>

namespace escaner::win32 {

// Only paths that the ordinary form cannot carry are rewritten. A short path
// keeps its ordinary meaning (relative names, '/' separators, "." and ".."
// are resolved by the system as every other program sees them); the long form
// takes a path literally, which for the walk's paths (listed names joined by
// backslashes) names the same file.
void UseLongPathForm(std::wstring& path) {
  if (path.size() < MAX_PATH) return;
  const bool driveAbsolute = path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
                             ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
  if (driveAbsolute) {
    path.insert(0, L"\\\\?\\");
    return;
  }
  const bool network = path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0 &&
                       path.compare(0, 4, L"\\\\.\\") != 0;
  if (network) path.replace(0, 2, L"\\\\?\\UNC\\");
}

}  // namespace escaner::win32
