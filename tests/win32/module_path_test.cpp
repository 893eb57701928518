// The executable's folder from its whole path: the query's buffer grows
// until the path fits, and a path that cannot be had gives no folder at all,
// so no report is ever looked for in a folder above the executable's.
#include "platform/win32/module_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "scan/report.h"
#include "win32/report_redirect.h"
#include "win32/temp_tree.h"

namespace {

using escaner::win32::ExecutableFolder;
using escaner::win32::kLongestPath;
using escaner::win32::ModulePathQuery;
using escaner_test::Utf8;

// How a system answers a buffer too small for the path.
enum class CutAnswer {
  Terminated,    // since Vista: capacity - 1 characters, a NUL, ERROR_INSUFFICIENT_BUFFER
  Unterminated,  // Windows XP: capacity characters, no NUL, no error set
};

// A query that answers for `path` the way GetModuleFileNameW does, and
// records the capacity of every buffer it is given.
ModulePathQuery QueryFor(const std::wstring& path, CutAnswer cut, std::vector<DWORD>& asked) {
  return [path, cut, &asked](wchar_t* buffer, DWORD capacity) -> DWORD {
    asked.push_back(capacity);
    if (path.size() < capacity) {
      path.copy(buffer, path.size());
      buffer[path.size()] = L'\0';
      return static_cast<DWORD>(path.size());
    }
    if (cut == CutAnswer::Terminated) {
      path.copy(buffer, capacity - 1);
      buffer[capacity - 1] = L'\0';
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
    } else {
      path.copy(buffer, capacity);
    }
    return capacity;
  };
}

// C:\Programas\<name of `length` characters in all>\Escaner.exe
std::wstring ExePathOfLength(std::size_t length) {
  const std::wstring head = L"C:\\Programas\\";
  const std::wstring tail = L"\\Escaner.exe";
  return head + std::wstring(length - head.size() - tail.size(), L'd') + tail;
}

TEST(ExecutableFolder, GrowsTheBufferUntilTheWholePathFits) {
  struct Case {
    const char* name;
    std::wstring exe;
    DWORD firstCapacity;
    CutAnswer cut;
    std::vector<DWORD> asked;
  };
  const Case cases[] = {
      {"fits at once", L"C:\\Prog\\Escaner.exe", MAX_PATH, CutAnswer::Terminated, {MAX_PATH}},
      {"one short of the buffer fits",
       ExePathOfLength(259),
       MAX_PATH,
       CutAnswer::Terminated,
       {MAX_PATH}},
      {"as long as the buffer is cut",
       ExePathOfLength(260),
       MAX_PATH,
       CutAnswer::Terminated,
       {MAX_PATH, 2 * MAX_PATH}},
      {"cut as XP cuts",
       ExePathOfLength(260),
       MAX_PATH,
       CutAnswer::Unterminated,
       {MAX_PATH, 2 * MAX_PATH}},
      {"a tiny first buffer",
       ExePathOfLength(300),
       4,
       CutAnswer::Terminated,
       {4, 8, 16, 32, 64, 128, 256, 512}},
      {"the longest path there is",
       ExePathOfLength(32767),
       MAX_PATH,
       CutAnswer::Terminated,
       {260, 520, 1040, 2080, 4160, 8320, 16640, kLongestPath}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<DWORD> asked;
    const std::optional<std::wstring> folder =
        ExecutableFolder(c.firstCapacity, QueryFor(c.exe, c.cut, asked));
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(Utf8(*folder), Utf8(c.exe.substr(0, c.exe.rfind(L'\\') + 1)));
    EXPECT_EQ(asked, c.asked);
  }
}

TEST(ExecutableFolder, NothingWhenThePathCannotBeHad) {
  struct Case {
    const char* name;
    ModulePathQuery query;
  };
  std::vector<DWORD> asked;
  const Case cases[] = {
      {"the query fails", [](wchar_t*, DWORD) -> DWORD { return 0; }},
      {"the query fails once the buffer grows",
       [](wchar_t* buffer, DWORD capacity) -> DWORD {
         if (capacity > MAX_PATH) return 0;
         std::fill(buffer, buffer + capacity, L'\\');
         return capacity;
       }},
      {"longer than the longest path",
       QueryFor(ExePathOfLength(kLongestPath), CutAnswer::Terminated, asked)},
      {"no backslash", QueryFor(L"Escaner.exe", CutAnswer::Terminated, asked)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExecutableFolder(MAX_PATH, c.query), std::nullopt);
  }
}

TEST(ExecutableFolder, IsThisProgramsFolderWhateverTheFirstBuffer) {
  wchar_t exe[kLongestPath] = {};
  const DWORD length = GetModuleFileNameW(nullptr, exe, kLongestPath);
  ASSERT_GT(length, 0u);
  std::wstring expected(exe, length);
  expected.resize(expected.rfind(L'\\') + 1);

  const auto fromTheSystem = [](wchar_t* buffer, DWORD capacity) {
    return GetModuleFileNameW(nullptr, buffer, capacity);
  };
  EXPECT_EQ(Utf8(ExecutableFolder().value_or(L"<none>")), Utf8(expected));
  EXPECT_EQ(Utf8(ExecutableFolder(2, fromTheSystem).value_or(L"<none>")), Utf8(expected));

  escaner::win32::Win32Platform platform;
  EXPECT_EQ(platform.ModuleFolder(), escaner_test::U16(expected));
  EXPECT_EQ(escaner::ReportPath(platform), escaner_test::U16(expected + L"Malware.txt"));
}

// An executable whose path does not fit the first buffer, in a folder below
// one that holds a Malware.txt of its own: the report goes beside the
// executable, and the folder above keeps its file whatever the query says.
TEST(ExecutableFolder, FolderAboveKeepsItsMalwareTxt) {
  escaner_test::TempFolder temp;
  // Cut at MAX_PATH, the executable's path would end inside its folder's
  // name, and the last backslash left would be the one after `above`.
  const std::wstring above = temp.Path() + std::wstring(150, L'p') + L"\\";
  const std::wstring own = above + std::wstring(150, L'q') + L"\\";
  escaner_test::MakeFolder(above);
  escaner_test::MakeFolder(own);
  escaner_test::MakeFile(above + L"Malware.txt", "ajeno\r\n");

  struct Case {
    const char* name;
    ModulePathQuery query;
    std::optional<std::string> ownReport;  // nothing: the old one is left alone
  };
  std::vector<DWORD> asked;
  const Case cases[] = {
      {"path longer than the first buffer",
       QueryFor(own + L"Escaner.exe", CutAnswer::Terminated, asked), "C:\\x.txt\r\n"},
      {"query failing", [](wchar_t*, DWORD) -> DWORD { return 0; }, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    escaner_test::MakeFile(own + L"Malware.txt", "viejo\r\n");
    const std::optional<std::wstring> folder = ExecutableFolder(MAX_PATH, c.query);
    escaner_test::PlatformWithReportIn platform(
        folder ? std::optional<std::u16string>(escaner_test::U16(*folder)) : std::nullopt);
    escaner::Report report(platform);
    report.ClearReport();
    report.LogInfected(u"C:\\x.txt");
    report.CloseReport();
    EXPECT_EQ(escaner_test::ReadWholeFile(above + L"Malware.txt"), "ajeno\r\n");
    EXPECT_EQ(escaner_test::ReadWholeFile(own + L"Malware.txt"), c.ownReport.value_or("viejo\r\n"));
  }
}

}  // namespace
