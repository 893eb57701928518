// The report file through the real Win32 seam: what lands on disk after
// LogInfected, and what ClearReport removes or leaves.
//
// The report's folder is redirected (report_redirect.h); ModuleFolder's own
// answer is checked against the loader's path of this test program.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "scan/content_check.h"
#include "scan/report.h"
#include "scan/passes.h"
#include "win32/report_redirect.h"
#include "win32/temp_tree.h"

namespace {

using escaner::ClearReport;
using escaner::kNoFile;
using escaner::LogInfected;
using escaner::win32::Win32Platform;
using escaner_test::AttributesOf;
using escaner_test::Exists;
using escaner_test::MakeFile;
using escaner_test::MakeFolder;
using escaner_test::PlatformWithReportIn;
using escaner_test::ReadWholeFile;
using escaner_test::TempFolder;

class ReportTest : public ::testing::Test {
 protected:
  std::wstring ReportFile() const { return temp_.Path() + L"Malware.txt"; }

  TempFolder temp_;
  PlatformWithReportIn platform_{temp_.Path()};
};

TEST(ModuleFolder, IsTheExecutablesFolderWithItsBackslash) {
  wchar_t exe[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring expected(exe, length);
  expected.resize(expected.rfind(L'\\') + 1);

  Win32Platform platform;
  const std::u16string folder = platform.ModuleFolder();
  EXPECT_TRUE(std::wstring(folder.begin(), folder.end()) == expected);
  EXPECT_EQ(escaner::ReportPath(platform), folder + u"Malware.txt");
}

TEST_F(ReportTest, LinesAreThePathBytesEachEndedWithCrLf) {
  struct Case {
    const char* name;
    std::string oldReport;  // "" for none
    std::vector<std::u16string> flagged;
    std::string expected;
  };
  const Case cases[] = {
      {"two lines in order",
       "",
       {u"C:\\Data\\a.txt", u"C:\\Data\\x\\b.txt"},
       "C:\\Data\\a.txt\r\nC:\\Data\\x\\b.txt\r\n"},
      {"code-page letters as their bytes",
       "",
       {u"C:\\Caf\u00E9\\\u00D1o\u00F1o \u20AC.txt"},
       "C:\\Caf\xE9\\\xD1o\xF1o \x80.txt\r\n"},
      // Never the best-fit look-alike, which would name another file.
      {"'?' for what the code page lacks",
       "",
       {u"T:\\\u0100b.txt", u"T:\\\uFF46ull.txt",
        u"T:\\\u0414\u0430\u0442\u0430\\\uFF41\\\u01FA.txt"},
       "T:\\?b.txt\r\nT:\\?ull.txt\r\nT:\\????\\?\\?.txt\r\n"},
      {"an empty path still ends its line", "", {u""}, "\r\n"},
      {"appended after what a report already holds",
       "old\r\n",
       {u"C:\\n.txt"},
       "old\r\nC:\\n.txt\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(ReportFile().c_str());
    if (!c.oldReport.empty()) MakeFile(ReportFile(), c.oldReport);
    for (const std::u16string& path : c.flagged) LogInfected(platform_, path);
    EXPECT_EQ(ReadWholeFile(ReportFile()), c.expected);
  }
}

// ClearReport removes an old report whatever attributes a user gave it.
TEST_F(ReportTest, ClearReportRemovesAProtectedReport) {
  const DWORD attributeSets[] = {
      FILE_ATTRIBUTE_NORMAL,
      FILE_ATTRIBUTE_READONLY,
      FILE_ATTRIBUTE_HIDDEN,
      FILE_ATTRIBUTE_SYSTEM,
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
          FILE_ATTRIBUTE_ARCHIVE,
  };
  MakeFile(temp_.Path() + L"Malware.txt.bak", "keep");
  for (const DWORD attributes : attributeSets) {
    SCOPED_TRACE(attributes);
    MakeFile(ReportFile(), "C:\\old.txt\r\n", attributes);
    const DWORD given = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(AttributesOf(ReportFile()) & given, given);
    ClearReport(platform_);
    EXPECT_FALSE(Exists(ReportFile()));
  }
  ClearReport(platform_);  // no report: nothing to do, nothing else touched
  EXPECT_EQ(ReadWholeFile(temp_.Path() + L"Malware.txt.bak"), "keep");
}

// The seam's delete step on its own passes over hidden and system entries;
// it is the attribute step before it that makes them deletable.
TEST_F(ReportTest, FindAndDeleteLeavesHiddenSystemAndReadOnlyFiles) {
  struct Case {
    DWORD attributes;
    bool deleted;
  };
  const Case cases[] = {
      {FILE_ATTRIBUTE_NORMAL, true},    {FILE_ATTRIBUTE_ARCHIVE, true},
      {FILE_ATTRIBUTE_HIDDEN, false},   {FILE_ATTRIBUTE_SYSTEM, false},
      {FILE_ATTRIBUTE_READONLY, false},  // the delete itself fails
  };
  const std::u16string report = escaner::ReportPath(platform_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attributes);
    MakeFile(ReportFile(), "x", c.attributes);
    platform_.FindAndDelete(report);
    EXPECT_EQ(Exists(ReportFile()), !c.deleted);
    SetFileAttributesW(ReportFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(ReportFile().c_str());
  }
}

TEST_F(ReportTest, FolderNamedLikeTheReportIsClearedButNeverDeletedNorWritten) {
  MakeFolder(ReportFile(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  MakeFile(ReportFile() + L"\\inside.txt", "inside");

  ClearReport(platform_);
  EXPECT_EQ(AttributesOf(ReportFile()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  EXPECT_EQ(platform_.OpenForAppend(escaner::ReportPath(platform_)), kNoFile);
  LogInfected(platform_, u"C:\\a.txt");
  LogInfected(platform_, u"C:\\b.txt");
  EXPECT_EQ(AttributesOf(ReportFile()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(ReadWholeFile(ReportFile() + L"\\inside.txt"), "inside");
}

// A report that another program holds open survives ClearReport and loses
// the lines appended meanwhile; once it is free, lines go after the old ones.
TEST_F(ReportTest, ReportHeldOpenByAnotherProgramLosesItsLines) {
  MakeFile(ReportFile(), "old\r\n");
  const HANDLE holder = CreateFileW(ReportFile().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  LogInfected(platform_, u"C:\\lost.txt");
  EXPECT_EQ(ReadWholeFile(ReportFile()), "old\r\n");
  CloseHandle(holder);

  LogInfected(platform_, u"C:\\kept.txt");
  EXPECT_EQ(ReadWholeFile(ReportFile()), "old\r\nC:\\kept.txt\r\n");
}

// The scan itself goes on when its report cannot be written: every flagged
// file is still counted.
TEST_F(ReportTest, ScanCountsFlaggedFilesWhileTheReportIsHeld) {
  TempFolder scanned;
  MakeFile(scanned.Path() + L"a.txt", "C:\\a");
  MakeFile(scanned.Path() + L"b.txt", "C:\\b");
  MakeFile(scanned.Path() + L"c.txt", "plain text");
  MakeFile(ReportFile(), "");
  const HANDLE holder = CreateFileW(ReportFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  escaner::ScanCounters counters;
  escaner::CountFiles(platform_, scanned.Path16(), counters);
  escaner::ScanProgress progress(platform_, counters);
  escaner::ContentCheck contentCheck(platform_, progress);
  escaner::ScanFolder(platform_, scanned.Path16(), counters, progress, contentCheck);
  CloseHandle(holder);

  EXPECT_EQ(counters.FilesScanned, 3);
  EXPECT_EQ(counters.FilesDone, 3);
  EXPECT_EQ(counters.FilesInfected, 2);
  EXPECT_EQ(ReadWholeFile(ReportFile()), "");
}

// The report's path is UTF-16 all the way: a folder whose name the code page
// lacks still gets its report written and removed.
TEST(ReportOutsideTheCodePage, IsWrittenAndRemovedThroughTheWidePath) {
  TempFolder temp;
  const std::wstring folder = temp.Path() + L"Informe \u03A9\u4E2D\\";
  MakeFolder(folder);
  PlatformWithReportIn platform(folder);

  LogInfected(platform, u"C:\\x.txt");
  EXPECT_EQ(ReadWholeFile(folder + L"Malware.txt"), "C:\\x.txt\r\n");
  SetFileAttributesW((folder + L"Malware.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ClearReport(platform);
  EXPECT_FALSE(Exists(folder + L"Malware.txt"));
}

// Write reports a write that did not land.
TEST_F(ReportTest, WriteFailsOnAHandleThatCannotWrite) {
  MakeFile(ReportFile(), "r");
  const HANDLE readOnly =
      CreateFileW(ReportFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(platform_.Write(reinterpret_cast<escaner::FileHandle>(readOnly), "abc"));
  CloseHandle(readOnly);

  const escaner::FileHandle report = platform_.OpenForAppend(escaner::ReportPath(platform_));
  ASSERT_NE(report, kNoFile);
  EXPECT_TRUE(platform_.Write(report, ""));
  EXPECT_TRUE(platform_.Write(report, "abc"));
  platform_.Close(report);
  EXPECT_EQ(ReadWholeFile(ReportFile()), "rabc");
}

}  // namespace
