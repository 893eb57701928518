// Reading files through the Win32 seam: what the content test gets, and
// that it never creates or changes a file.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"

namespace {

using escaner::FileHandle;
using escaner::kNoFile;
using escaner::win32::Win32Platform;
using escaner_test::AttributesOf;
using escaner_test::Exists;
using escaner_test::MakeFile;
using escaner_test::MakeFolder;
using escaner_test::ReadWholeFile;
using escaner_test::TempFolder;

// Everything the seam delivers for the file, read in chunks as the content
// test reads it; nothing when it does not open.
std::optional<std::string> ReadThroughSeam(Win32Platform& platform, const std::string& path,
                                           std::uint64_t* size = nullptr) {
  const FileHandle file = platform.OpenForReading(path);
  if (file == kNoFile) return std::nullopt;
  if (size) *size = platform.FileSize(file);
  std::string bytes;
  std::vector<char> chunk(65536);
  for (;;) {
    const std::size_t got = platform.Read(file, chunk.data(), chunk.size());
    if (got == 0) break;
    bytes.append(chunk.data(), got);
  }
  platform.Close(file);
  return bytes;
}

std::string Pattern(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class ReadingTest : public ::testing::Test {
 protected:
  TempFolder temp_;
  Win32Platform platform_;
};

TEST_F(ReadingTest, DeliversTheWholeFileAndItsSize) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"one byte", "\\"},
      {"two bytes", "a/"},
      {"with NUL and high bytes", std::string("a\0\xE9\xFF/", 5)},
      {"more than one chunk", Pattern(65536 * 2 + 17)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring name = L"f" + std::to_wstring(++n) + L".bin";
    MakeFile(temp_.Path() + name, c.bytes);
    std::uint64_t size = 12345;
    const auto read = ReadThroughSeam(platform_, temp_.AnsiPath() + escaner_test::Narrow(name), &size);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(size, c.bytes.size());
    EXPECT_TRUE(*read == c.bytes) << "read " << read->size() << " bytes";
  }
}

// Read access only: attributes, other programs' open handles and the file's
// own protection do not stop the test from reading.
TEST_F(ReadingTest, OpensProtectedAndSharedFiles) {
  const std::wstring& root = temp_.Path();
  MakeFile(root + L"ro.txt", "C:\\ro", FILE_ATTRIBUTE_READONLY);
  MakeFile(root + L"hs.txt", "C:\\hs", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeFile(root + L"held.txt", "C:\\held");
  MakeFile(root + L"caf\u00E9.txt", "C:\\cafe");

  // Another program writing the file, sharing reading and writing.
  const HANDLE writer =
      CreateFileW((root + L"held.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);

  EXPECT_EQ(ReadThroughSeam(platform_, temp_.AnsiPath() + "ro.txt"), "C:\\ro");
  EXPECT_EQ(ReadThroughSeam(platform_, temp_.AnsiPath() + "hs.txt"), "C:\\hs");
  EXPECT_EQ(ReadThroughSeam(platform_, temp_.AnsiPath() + "held.txt"), "C:\\held");
  EXPECT_EQ(ReadThroughSeam(platform_, temp_.AnsiPath() + "caf\xE9.txt"), "C:\\cafe");
  CloseHandle(writer);
}

TEST_F(ReadingTest, NeverCreatesOrChangesAFile) {
  const std::wstring& root = temp_.Path();
  MakeFolder(root + L"folder");
  MakeFile(root + L"kept.txt", "C:\\kept");
  FILETIME before = {};
  {
    const HANDLE file = CreateFileW((root + L"kept.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    GetFileTime(file, nullptr, nullptr, &before);
    CloseHandle(file);
  }

  EXPECT_EQ(platform_.OpenForReading(temp_.AnsiPath() + "missing.txt"), kNoFile);
  EXPECT_EQ(platform_.OpenForReading(temp_.AnsiPath() + "nofolder\\missing.txt"), kNoFile);
  EXPECT_EQ(platform_.OpenForReading(temp_.AnsiPath() + "folder"), kNoFile);
  EXPECT_FALSE(Exists(root + L"missing.txt"));
  EXPECT_FALSE(Exists(root + L"nofolder"));

  EXPECT_EQ(ReadThroughSeam(platform_, temp_.AnsiPath() + "kept.txt"), "C:\\kept");
  EXPECT_EQ(ReadWholeFile(root + L"kept.txt"), "C:\\kept");
  EXPECT_EQ(AttributesOf(root + L"kept.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  const HANDLE file = CreateFileW((root + L"kept.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME after = {};
  GetFileTime(file, nullptr, nullptr, &after);
  CloseHandle(file);
  EXPECT_EQ(CompareFileTime(&before, &after), 0) << "the last-write time moved";
}

// A name the code page cannot represent arrives with '?' in it; such paths,
// and any with '*', are refused before any platform call is made.
TEST_F(ReadingTest, RefusesEmptyAndWildcardPathsWithoutAPlatformCall) {
  MakeFile(temp_.Path() + L"ab.txt", "C:\\ab");
  const std::string refused[] = {
      "",
      temp_.AnsiPath() + "a?.txt",
      temp_.AnsiPath() + "a*.txt",
      temp_.AnsiPath() + "*",
      temp_.AnsiPath() + "?b.txt",
  };
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    SetLastError(0xE5CA);
    EXPECT_EQ(platform_.OpenForReading(path), kNoFile);
    EXPECT_EQ(GetLastError(), 0xE5CAu) << "a platform call was made";
  }
  EXPECT_EQ(ReadWholeFile(temp_.Path() + L"ab.txt"), "C:\\ab");
}

// Both halves of the size: a sparse file just past 4 GiB.
TEST_F(ReadingTest, SizeUsesBothHalves) {
  const std::wstring path = temp_.Path() + L"big.bin";
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  constexpr std::uint64_t kSize = (std::uint64_t{1} << 32) + 3;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(kSize);
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  if (!sized) GTEST_SKIP() << "no room for a sparse 4 GiB file here";

  const FileHandle opened = platform_.OpenForReading(temp_.AnsiPath() + "big.bin");
  ASSERT_NE(opened, kNoFile);
  EXPECT_EQ(platform_.FileSize(opened), kSize);
  platform_.Close(opened);
}

}  // namespace
