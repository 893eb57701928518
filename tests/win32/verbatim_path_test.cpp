// The \\?\ form every walked path is opened through, and paths of MAX_PATH
// characters and more, which the file layer must open whole instead of
// cutting them.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/verbatim_path.h"
#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"

namespace {

using escaner::FileHandle;
using escaner::kNoFile;
using escaner::win32::MakeVerbatimPath;
using escaner::win32::UseLongPathForm;
using escaner::win32::Win32Platform;
using escaner_test::Exists;
using escaner_test::MakeFile;
using escaner_test::MakeFolder;
using escaner_test::ReadWholeFile;
using escaner_test::TempFolder;
using escaner_test::U16;
using escaner_test::Utf8;

TEST(MakeVerbatimPath, RewritesEveryAbsolutePathWhateverItsLength) {
  const std::wstring longTail(MAX_PATH, L'x');
  struct Case {
    std::wstring in;
    std::wstring out;
  };
  const Case cases[] = {
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"C:\\Datos\\x.txt", L"\\\\?\\C:\\Datos\\x.txt"},
      {L"t:\\x.txt.", L"\\\\?\\t:\\x.txt."},
      {L"T:\\d\\NUL", L"\\\\?\\T:\\d\\NUL"},
      {L"T:\\" + longTail, L"\\\\?\\T:\\" + longTail},
      {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share\\"},
      {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
      {L"\\\\?\\UNC\\s\\h\\x", L"\\\\?\\UNC\\s\\h\\x"},
      {L"\\\\.\\NUL", L"\\\\.\\NUL"},
      {L"relative\\x", L"relative\\x"},
      {L"C:relative", L"C:relative"},
      {L"\\rooted\\x", L"\\rooted\\x"},
      {L"1:\\x", L"1:\\x"},
      {L"", L""},
  };
  std::wstring verbatim = L"left over from before";
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.in.substr(0, 24)));
    MakeVerbatimPath(U16(c.in), verbatim);
    EXPECT_TRUE(verbatim == c.out) << Utf8(verbatim.substr(0, 32));
  }
}

TEST(UseLongPathForm, RewritesOnlyAbsolutePathsTooLongForTheOrdinaryForm) {
  const std::wstring longTail(MAX_PATH, L'x');
  const std::wstring tail259(MAX_PATH - 1 - 3, L'x');  // "C:\" + 256 = 259 characters
  struct Case {
    std::wstring in;
    std::wstring out;
  };
  const Case cases[] = {
      {L"C:\\" + tail259, L"C:\\" + tail259},                       // 259: still fits
      {L"C:\\" + tail259 + L"y", L"\\\\?\\C:\\" + tail259 + L"y"},  // 260
      {L"d:\\" + longTail, L"\\\\?\\d:\\" + longTail},
      {L"\\\\server\\share\\" + longTail, L"\\\\?\\UNC\\server\\share\\" + longTail},
      {L"\\\\?\\C:\\" + longTail, L"\\\\?\\C:\\" + longTail},
      {L"\\\\.\\C:\\" + longTail, L"\\\\.\\C:\\" + longTail},
      {L"relative\\" + longTail, L"relative\\" + longTail},
      {L"C:relative" + longTail, L"C:relative" + longTail},
      {L"\\rooted\\" + longTail, L"\\rooted\\" + longTail},
      {L"C:\\short", L"C:\\short"},
      {L"", L""},
  };
  for (const Case& c : cases) {
    std::wstring path = c.in;
    UseLongPathForm(path);
    EXPECT_TRUE(path == c.out) << "for a path of " << c.in.size() << " characters starting "
                               << Utf8(c.in.substr(0, 16));
  }
}

// Files whose full paths lie around and past MAX_PATH are read whole
// through the plain path the walk builds.
TEST(LongPathReading, OpensFilesPastMaxPathWhole) {
  TempFolder temp;
  std::wstring folder = temp.Path();
  // Deep enough that a file name of 1 to 100 characters reaches any length
  // from below 259 to 300 and more.
  while (folder.size() < 200) {
    folder += std::wstring(40, L'd') + L"\\";
    MakeFolder(folder);
  }
  Win32Platform platform;
  for (const std::size_t total :
       {std::size_t{259}, std::size_t{260}, std::size_t{261}, std::size_t{300}}) {
    SCOPED_TRACE(total);
    ASSERT_GT(total, folder.size());
    const std::wstring path = folder + std::wstring(total - folder.size(), L'f');
    ASSERT_EQ(path.size(), total);
    const std::string content = "C:\\long\\" + std::to_string(total);
    MakeFile(path, content);

    const FileHandle file = platform.OpenForReading(U16(path));
    ASSERT_NE(file, kNoFile);
    char bytes[64] = {};
    EXPECT_EQ(platform.Read(file, bytes, sizeof bytes), content.size());
    EXPECT_EQ(std::string(bytes), content);
    platform.Close(file);
  }
  // A long path that names nothing is neither created nor cut down to the
  // shorter path of a file that exists.
  const std::wstring missing = folder + std::wstring(60, L'g');
  const std::wstring decoy = missing.substr(0, 255);
  MakeFile(decoy, "decoy");
  EXPECT_EQ(platform.OpenForReading(U16(missing)), kNoFile);
  EXPECT_FALSE(Exists(missing));
  EXPECT_EQ(ReadWholeFile(decoy), "decoy");
}

}  // namespace
