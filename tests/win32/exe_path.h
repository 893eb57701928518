// The path of the built Escaner.exe, for tests that inspect the file.
//
// ctest hands it over in ESCANER_EXE as the build system wrote it. Under Wine
// that is a Unix path ("/tmp/build/Escaner.exe"), which Win32 calls would read
// as "\tmp\build\Escaner.exe" on the current drive; Wine's own
// wine_get_dos_file_name maps it to the drive that really holds it. On Windows
// the variable already holds a Windows path and is used as it is.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace escaner_test {

inline std::wstring EscanerExePath() {
  const char* value = std::getenv("ESCANER_EXE");
  if (value == nullptr || *value == '\0') return {};
  std::string path = value;
  if (path.front() == '/') {
    using DosFileName = WCHAR* (*)(const char*);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (proc != nullptr) {
      WCHAR* dos = reinterpret_cast<DosFileName>(reinterpret_cast<void (*)()>(proc))(path.c_str());
      if (dos != nullptr) {
        std::wstring result = dos;
        HeapFree(GetProcessHeap(), 0, dos);
        return result;
      }
    }
    path = "Z:" + path;  // Wine's default mapping of the Unix root
  }
  std::wstring wide(path.size(), L'\0');
  int length = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                   wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

}  // namespace escaner_test
