// Reading a listed file for the content test. Every call runs Quietly, one
// call at a time.
#include "platform/win32/inheritable_handle.h"
#include "platform/win32/quiet_error_mode.h"
#include "platform/win32/verbatim_path.h"
#include "platform/win32/win32_platform.h"

namespace escaner::win32 {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

FileHandle Win32Platform::OpenForReading(const std::u16string& path) {
  if (!IsOpenablePath(path)) return kNoFile;
  MakeVerbatimPath(path, verbatimPath_);
  // Read access only and OPEN_EXISTING: the test never creates a file or
  // changes one, and a read-only file opens like any other. All sharing is
  // granted so files that others hold open are still read. OPEN_NO_RECALL:
  // should a file whose data lies elsewhere (offline, a cloud placeholder)
  // ever reach this point, its provider is not asked to fetch it.
  SECURITY_ATTRIBUTES inheritable = InheritableHandle();
  const HANDLE file = Quietly([&] {
    return CreateFileW(
        verbatimPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inheritable, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_NO_RECALL, nullptr);
  });
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  // Only a file on a disk is read: a device (a console, a serial port, NUL)
  // or a pipe could block the read for ever or hand over bytes that are not
  // the file's.
  if (Quietly([&] { return GetFileType(file); }) != FILE_TYPE_DISK) {
    Quietly([&] { return CloseHandle(file); });
    return kNoFile;
  }
  // No SetFilePointer to byte 0: a file opened just now is already there, and
  // under Wine the call is one more wineserver round trip for every file of
  // the tree, for nothing the user could see.
  return reinterpret_cast<std::intptr_t>(file);
}

std::size_t Win32Platform::Read(FileHandle file, void* buffer, std::size_t size) {
  DWORD got = 0;
  const BOOL ok = Quietly(
      [&] { return ReadFile(AsHandle(file), buffer, static_cast<DWORD>(size), &got, nullptr); });
  return ok ? got : 0;
}

// Closes a file opened for reading or for appending.
void Win32Platform::Close(FileHandle file) {
  Quietly([&] { return CloseHandle(AsHandle(file)); });
}

}  // namespace escaner::win32
