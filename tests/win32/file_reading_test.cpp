// Reading files through the Win32 seam: what the content test gets, that
// each listed name opens the file listed under it and nothing else, and
// that it never creates or changes a file.
#include <windows.h>

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
using escaner_test::LinuxFixture;
using escaner_test::MakeFile;
using escaner_test::MakeFolder;
using escaner_test::ReadWholeFile;
using escaner_test::TempFolder;
using escaner_test::U16;
using escaner_test::Utf8;

// Everything the seam delivers for the file, read in chunks as the content
// test reads it; nothing when it does not open.
std::optional<std::string> ReadThroughSeam(Win32Platform& platform, const std::u16string& path) {
  const FileHandle file = platform.OpenForReading(path);
  if (file == kNoFile) return std::nullopt;
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

TEST_F(ReadingTest, DeliversTheWholeFile) {
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
    const auto read = ReadThroughSeam(platform_, U16(temp_.Path() + name));
    ASSERT_TRUE(read.has_value());
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

  // Another program writing the file, sharing reading and writing.
  const HANDLE writer =
      CreateFileW((root + L"held.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);

  EXPECT_EQ(ReadThroughSeam(platform_, temp_.Path16() + u"ro.txt"), "C:\\ro");
  EXPECT_EQ(ReadThroughSeam(platform_, temp_.Path16() + u"hs.txt"), "C:\\hs");
  EXPECT_EQ(ReadThroughSeam(platform_, temp_.Path16() + u"held.txt"), "C:\\held");
  CloseHandle(writer);
}

// Every name made on the Linux side opens the file listed under it: a
// look-alike never reaches its original, "x.txt." never "x.txt", "NUL" and
// "aux.txt" never a device. Each file's content tells which one was read.
TEST(ReadingOwnNames, EachNameReadsItsOwnFile) {
  const std::wstring root = LinuxFixture(L"names");
  ASSERT_FALSE(root.empty());
  struct Case {
    std::u16string name;
    std::string content;
  };
  const Case cases[] = {
      {u"\u0100b.txt", "Z:\\macron-A"},
      {u"Ab.txt", "Z:\\plain-Ab"},
      {u"\uFF46ull.txt", "Z:\\fullwidth-f"},
      {u"full.txt", "Z:\\plain-full"},
      {u"\u01FA.txt", "Z:\\A-ring-acute"},
      {u"\u0414\u0430\u0442\u0430\\dentro.txt", "Z:\\cyrillic-folder"},
      {u"\uFF41\\fuera.txt", "Z:\\fullwidth-a-folder"},
      {u"a\\fuera.txt", "Z:\\plain-a-folder"},
      {u"x.txt.", "Z:\\trailing-dot"},
      {u"x.txt", "Z:\\plain-x"},
      {u"y ", "Z:\\trailing-blank"},
      {u"y", "Z:\\plain-y"},
      {u"NUL", "Z:\\named-NUL"},
      {u"aux.txt", "Z:\\named-aux"},
      {u"caf\u00E9.txt", "Z:\\cafe-acute"},
  };
  Win32Platform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    EXPECT_EQ(ReadThroughSeam(platform, U16(root) + c.name), c.content);
  }
}

// A handle that is not a file on a disk is closed unread: the NUL and
// console devices, a pipe whose read would wait for its writer, and a Linux
// FIFO, which Wine lists as a plain file.
TEST_F(ReadingTest, DevicesAndPipesAreNeverRead) {
  const std::wstring special = LinuxFixture(L"special");
  ASSERT_FALSE(special.empty());
  const std::wstring pipeName =
      L"\\\\.\\pipe\\escaner-reading-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                       4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const std::u16string refused[] = {u"\\\\.\\NUL", u"\\\\.\\CON", U16(pipeName),
                                    U16(special + L"tuberia")};
  for (const std::u16string& path : refused) {
    SCOPED_TRACE(Utf8(path));
    EXPECT_EQ(platform_.OpenForReading(path), kNoFile);
  }
  CloseHandle(pipe);
  EXPECT_EQ(ReadThroughSeam(platform_, U16(special + L"normal.txt")), "Z:\\normal");
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

  EXPECT_EQ(platform_.OpenForReading(temp_.Path16() + u"missing.txt"), kNoFile);
  EXPECT_EQ(platform_.OpenForReading(temp_.Path16() + u"nofolder\\missing.txt"), kNoFile);
  EXPECT_EQ(platform_.OpenForReading(temp_.Path16() + u"folder"), kNoFile);
  EXPECT_FALSE(Exists(root + L"missing.txt"));
  EXPECT_FALSE(Exists(root + L"nofolder"));

  EXPECT_EQ(ReadThroughSeam(platform_, temp_.Path16() + u"kept.txt"), "C:\\kept");
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

// Listed names never hold a wildcard: a path that does was not built by the
// walk, and is refused before any platform call is made.
TEST_F(ReadingTest, RefusesEmptyAndWildcardPathsWithoutAPlatformCall) {
  MakeFile(temp_.Path() + L"ab.txt", "C:\\ab");
  const std::u16string refused[] = {
      u"",
      temp_.Path16() + u"a?.txt",
      temp_.Path16() + u"a*.txt",
      temp_.Path16() + u"*",
      temp_.Path16() + u"?b.txt",
  };
  for (const std::u16string& path : refused) {
    SCOPED_TRACE(Utf8(path));
    SetLastError(0xE5CA);
    EXPECT_EQ(platform_.OpenForReading(path), kNoFile);
    EXPECT_EQ(GetLastError(), 0xE5CAu) << "a platform call was made";
  }
  EXPECT_EQ(ReadWholeFile(temp_.Path() + L"ab.txt"), "C:\\ab");
}

}  // namespace
