// Listings, file reading and the report's operations. Directory searches run
// under the process's error mode; every other file call runs Quietly, one
// call at a time.
#include <cstring>

#include "platform/win32/ansi_text.h"
#include "platform/win32/long_path.h"
#include "platform/win32/quiet_error_mode.h"
#include "platform/win32/win32_platform.h"

namespace escaner::win32 {
namespace {

constexpr DWORD kAttributeVolumeLabel = 0x8;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

void FillEntry(const WIN32_FIND_DATAA& found, DirEntry& entry) {
  entry.attributes = found.dwFileAttributes;
  // dwReserved0 holds the reparse tag only for a reparse point.
  entry.reparseTag =
      (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
  static_assert(sizeof entry.name == sizeof found.cFileName);
  std::memcpy(entry.name, found.cFileName, sizeof entry.name);
  entry.name[sizeof entry.name - 1] = '\0';
}

// The handle is inheritable, as every file handle of the program.
SECURITY_ATTRIBUTES InheritableHandle() {
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

std::wstring ReportFilePath(const std::u16string& path) {
  std::wstring wide = ToWide(path);
  UseLongPathForm(wide);
  return wide;
}

}  // namespace

ListingHandle Win32Platform::FindFirst(const std::string& pattern, DirEntry& entry) {
  WIN32_FIND_DATAA found;
  const HANDLE listing = FindFirstFileA(pattern.c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return kNoListing;
  FillEntry(found, entry);
  return FromHandle(listing);
}

bool Win32Platform::FindNext(ListingHandle listing, DirEntry& entry) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(AsHandle(listing), &found)) return false;
  FillEntry(found, entry);
  return true;
}

void Win32Platform::FindClose(ListingHandle listing) { ::FindClose(AsHandle(listing)); }

FileHandle Win32Platform::OpenForReading(const std::string& path) {
  if (!IsOpenablePath(path)) return kNoFile;
  AnsiToWide(path, readPath_);
  UseLongPathForm(readPath_);
  // Read access only and OPEN_EXISTING: the test never creates a file or
  // changes one, and a read-only file opens like any other. All sharing is
  // granted so files that others hold open are still read.
  SECURITY_ATTRIBUTES inheritable = InheritableHandle();
  const HANDLE file = Quietly([&] {
    return CreateFileW(readPath_.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  });
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  Quietly([&] { return GetFileType(file); });
  Quietly([&] { return SetFilePointer(file, 0, nullptr, FILE_BEGIN); });
  return FromHandle(file);
}

std::uint64_t Win32Platform::FileSize(FileHandle file) {
  DWORD high = 0;
  DWORD error = NO_ERROR;
  const DWORD low = Quietly([&] {
    SetLastError(NO_ERROR);  // a stale error would turn a real low half of FFFFFFFF into a failure
    const DWORD size = GetFileSize(AsHandle(file), &high);
    if (size == INVALID_FILE_SIZE) error = GetLastError();  // may also be a genuine low half
    return size;
  });
  if (error != NO_ERROR) return 0;
  return (std::uint64_t{high} << 32) | low;
}

std::size_t Win32Platform::Read(FileHandle file, void* buffer, std::size_t size) {
  DWORD got = 0;
  const BOOL ok = Quietly(
      [&] { return ReadFile(AsHandle(file), buffer, static_cast<DWORD>(size), &got, nullptr); });
  return ok ? got : 0;
}

void Win32Platform::Close(FileHandle file) {
  Quietly([&] { return CloseHandle(AsHandle(file)); });
}

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

FileHandle Win32Platform::OpenForAppend(const std::u16string& path) {
  const std::wstring target = ReportFilePath(path);
  // No sharing: while a line is appended nobody else has the report open,
  // and a report that someone holds open makes the append fail.
  SECURITY_ATTRIBUTES inheritable = InheritableHandle();
  const HANDLE file = Quietly([&] {
    return CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  });
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
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
