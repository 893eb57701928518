// The report's operations, on the path made from the executable's own name.
// The search for the report runs under the process's error mode; every other
// call runs Quietly, one call at a time.
#include "platform/win32/ansi_text.h"
#include "platform/win32/inheritable_handle.h"
#include "platform/win32/quiet_error_mode.h"
#include "platform/win32/verbatim_path.h"
#include "platform/win32/win32_platform.h"

namespace escaner::win32 {
namespace {

constexpr DWORD kAttributeVolumeLabel = 0x8;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

std::wstring ReportFilePath(const std::u16string& path) {
  std::wstring wide = ToWide(path);
  UseLongPathForm(wide);
  return wide;
}

}  // namespace

void Win32Platform::ClearAttributes(const std::u16string& path) {
  const std::wstring target = ReportFilePath(path);
  Quietly([&] { return SetFileAttributesW(target.c_str(), 0); });
}

void Win32Platform::FindAndDelete(const std::u16string& path) {
  std::wstring target = ReportFilePath(path);
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(target.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  const std::size_t folderLength = target.rfind(L'\\') + 1;  // 0 when there is no backslash
  constexpr DWORD kNeverDeleted = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  kAttributeVolumeLabel | FILE_ATTRIBUTE_DIRECTORY;
  do {
    if (found.dwFileAttributes & kNeverDeleted) continue;
    target.resize(folderLength);
    target += found.cFileName;
    if (!Quietly([&] { return DeleteFileW(target.c_str()); })) break;
  } while (FindNextFileW(search, &found));
  ::FindClose(search);
}

FileHandle Win32Platform::OpenForAppend(const std::u16string& path, bool& heldElsewhere) {
  const std::wstring target = ReportFilePath(path);
  // Read sharing only: while the scan holds the report others may read it,
  // nobody else writes it. A report another program holds for writing, or
  // without sharing writing, makes the open fail.
  SECURITY_ATTRIBUTES inheritable = InheritableHandle();
  DWORD error = ERROR_SUCCESS;
  const HANDLE file = Quietly([&] {
    const HANDLE opened = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = GetLastError();  // before the error mode is put back
    return opened;
  });
  heldElsewhere = file == INVALID_HANDLE_VALUE &&
                  (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION);
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  // Asked only because the tool always has; the answer is not used.
  Quietly([&] { return GetFileType(file); });
  LONG high = 0;  // so a report past 4 GiB still gets its end
  Quietly([&] { return SetFilePointer(file, 0, &high, FILE_END); });
  return FromHandle(file);
}

bool Win32Platform::Write(FileHandle file, std::string_view bytes) {
  DWORD written = 0;
  const BOOL ok = Quietly([&] {
    return WriteFile(AsHandle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr);
  });
  return ok && written == bytes.size();
}

}  // namespace escaner::win32
