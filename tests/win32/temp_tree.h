// Real folder trees for the Win32 tests: a fresh folder under %TEMP%, files
// and folders made in it with the wide calls, and read back the same way.
// Paths go through the \\?\ form here, so trees deeper than MAX_PATH can be
// built and removed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace escaner_test {

inline std::wstring Long(const std::wstring& path) {
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
  return L"\\\\?\\" + path;
}

inline void MakeFolder(const std::wstring& path, DWORD attributes = 0) {
  ASSERT_TRUE(CreateDirectoryW(Long(path).c_str(), nullptr)) << "error " << GetLastError();
  if (attributes != 0) {
    ASSERT_TRUE(SetFileAttributesW(Long(path).c_str(), attributes));
  }
}

inline void MakeFile(const std::wstring& path, std::string_view bytes,
                     DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  const HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && written == bytes.size());
  if (attributes != FILE_ATTRIBUTE_NORMAL) {
    ASSERT_TRUE(SetFileAttributesW(Long(path).c_str(), attributes));
  }
}

// The file's bytes, or nothing when it cannot be opened.
inline std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

inline DWORD AttributesOf(const std::wstring& path) {
  return GetFileAttributesW(Long(path).c_str());
}
inline bool Exists(const std::wstring& path) {
  return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

// Removes a tree whatever its attributes.
inline void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Long(folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + name;
      SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
      } else {
        DeleteFileW(Long(path).c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(Long(folder).c_str());
}

// The wide text in UTF-8, for test messages.
inline std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}
inline std::string Utf8(std::u16string_view text) {
  return Utf8(std::wstring(text.begin(), text.end()));
}

// The seam's UTF-16 strings and the platform's wide ones (16-bit units both).
inline std::u16string U16(std::wstring_view text) { return {text.begin(), text.end()}; }
inline std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

// The Windows path, with its trailing backslash, of a tree that
// tests/win32/linux_fixtures.py made on the Linux side before the tests ran
// (ctest passes its folder in ESCANER_LINUX_FIXTURES; Wine's Z: drive is the
// Unix root). Empty, with a failure, when the variable is missing.
inline std::wstring LinuxFixture(std::wstring_view tree) {
  wchar_t folder[4096] = {};
  const DWORD length = GetEnvironmentVariableW(L"ESCANER_LINUX_FIXTURES", folder, 4096);
  if (length == 0 || length >= 4096) {
    ADD_FAILURE() << "ESCANER_LINUX_FIXTURES is not set: run through ctest, which makes the "
                     "trees with tests/win32/linux_fixtures.py first";
    return {};
  }
  std::wstring path = L"Z:" + std::wstring(folder, length) + L"/" + std::wstring(tree) + L"/";
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// A fresh, empty folder under %TEMP%, removed with its content at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
      path_ = std::wstring(temp) + L"esc" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(++counter) + L"\\";
      if (CreateDirectoryW(path_.c_str(), nullptr)) break;
      if (GetLastError() != ERROR_ALREADY_EXISTS) {
        ADD_FAILURE() << "cannot make a temp folder, error " << GetLastError();
        break;
      }
    }
  }
  ~TempFolder() { RemoveTree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // With its trailing backslash.
  const std::wstring& Path() const { return path_; }
  std::u16string Path16() const { return U16(path_); }

 private:
  std::wstring path_;
};

}  // namespace escaner_test
