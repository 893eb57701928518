#include "platform/win32/module_path.h"

#include <algorithm>

namespace escaner::win32 {

std::optional<std::wstring> ExecutableFolder(DWORD firstCapacity, const ModulePathQuery& query) {
  std::wstring path;
  for (DWORD capacity = std::max<DWORD>(firstCapacity, 1);; capacity *= 2) {
    capacity = std::min(capacity, kLongestPath);
    path.resize(capacity);
    SetLastError(ERROR_SUCCESS);
    const DWORD length = query(path.data(), capacity);
    if (length == 0) return std::nullopt;
    // A cut path comes back as the whole buffer; since Vista the error says
    // so as well.
    const bool cut = length >= capacity || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    if (!cut) {
      path.resize(length);
      break;
    }
    if (capacity == kLongestPath) return std::nullopt;
  }
  const std::size_t lastBackslash = path.rfind(L'\\');
  if (lastBackslash == std::wstring::npos) return std::nullopt;
  path.resize(lastBackslash + 1);
  return path;
}

std::optional<std::wstring> ExecutableFolder() {
  return ExecutableFolder(MAX_PATH, [](wchar_t* buffer, DWORD capacity) {
    return GetModuleFileNameW(nullptr, buffer, capacity);
  });
}

}  // namespace escaner::win32
