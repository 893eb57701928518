// The report file through the real Win32 seam: what lands on disk as the
// scan logs flagged files, what ClearReport removes or leaves, and what
// another program holding the report does to it.
//
// The report's folder is redirected (report_redirect.h).
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "scan/content_check.h"
#include "scan/passes.h"
#include "scan/report.h"
#include "win32/report_redirect.h"
#include "win32/temp_tree.h"

namespace {

using escaner::kNoFile;
using escaner::Report;
using escaner::ReportOutcome;
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
  std::u16string ReportPath() { return escaner::ReportPath(platform_).value(); }

  // Logs each of `flagged` as one scanning pass would, and ends the pass.
  ReportOutcome LogAll(const std::vector<std::u16string>& flagged) {
    Report report(platform_);
    for (const std::u16string& path : flagged) report.LogInfected(path);
    report.CloseReport();
    return report.Outcome();
  }

  TempFolder temp_;
  PlatformWithReportIn platform_{temp_.Path()};
};

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
    EXPECT_EQ(LogAll(c.flagged), ReportOutcome::Complete);
    EXPECT_EQ(ReadWholeFile(ReportFile()), c.expected);
  }
}

// Each line is in the file as soon as it is logged, while the scan still
// holds the report: a viewer reads it, a crash would lose nothing written.
// Nobody else can write to it meanwhile.
TEST_F(ReportTest, HeldReportIsReadableLineByLineAndWritableByNobodyElse) {
  Report report(platform_);
  report.LogInfected(u"C:\\a.txt");
  EXPECT_EQ(ReadWholeFile(ReportFile()), "C:\\a.txt\r\n");
  report.LogInfected(u"C:\\b.txt");
  EXPECT_EQ(ReadWholeFile(ReportFile()), "C:\\a.txt\r\nC:\\b.txt\r\n");
  const HANDLE writer =
      CreateFileW(ReportFile().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  report.CloseReport();
  EXPECT_EQ(report.Outcome(), ReportOutcome::Complete);
}

// What another program's hold on the report does to the seam's open: a
// reader that shares is no obstacle; a hold that shuts the scan out is told
// apart from a report that cannot be written at all. (A read-only report or
// folder cannot be shown here: under Wine as root, permissions do not bite.)
TEST_F(ReportTest, OpenTellsAHoldElsewhereFromAReportThatCannotBeWritten) {
  struct Case {
    const char* name;
    DWORD access;  // the other program's hold on the old report; 0: none
    DWORD sharing;
    bool opens;
    bool heldElsewhere;
  };
  constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const Case cases[] = {
      {"free", 0, 0, true, false},
      {"read by a viewer that shares", GENERIC_READ, kAll, true, false},
      {"held without sharing", GENERIC_READ, 0, false, true},
      {"held shared for reading only", GENERIC_READ, FILE_SHARE_READ, false, true},
      {"written by another program", GENERIC_WRITE, kAll, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeFile(ReportFile(), "old\r\n");
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (c.access != 0) {
      holder = CreateFileW(ReportFile().c_str(), c.access, c.sharing, nullptr, OPEN_EXISTING, 0,
                           nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    }
    bool heldElsewhere = !c.heldElsewhere;
    const escaner::FileHandle file = platform_.OpenForAppend(ReportPath(), heldElsewhere);
    EXPECT_EQ(file != kNoFile, c.opens);
    EXPECT_EQ(heldElsewhere, c.heldElsewhere);
    if (file != kNoFile) platform_.Close(file);
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    DeleteFileW(ReportFile().c_str());
  }
  // Not held, just not a file: no waiting for it.
  MakeFolder(ReportFile());
  bool heldElsewhere = true;
  EXPECT_EQ(platform_.OpenForAppend(ReportPath(), heldElsewhere), kNoFile);
  EXPECT_FALSE(heldElsewhere);
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
    Report(platform_).ClearReport();
    EXPECT_FALSE(Exists(ReportFile()));
  }
  Report(platform_).ClearReport();  // no report: nothing to do, nothing else touched
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
  const std::u16string report = ReportPath();
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

  Report(platform_).ClearReport();
  EXPECT_EQ(AttributesOf(ReportFile()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  EXPECT_EQ(LogAll({u"C:\\a.txt", u"C:\\b.txt"}), ReportOutcome::NotWritten);
  EXPECT_EQ(platform_.pausedMs, 0u);  // nobody holds it: no waiting
  EXPECT_EQ(AttributesOf(ReportFile()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(ReadWholeFile(ReportFile() + L"\\inside.txt"), "inside");
}

// A report that another program holds without sharing survives ClearReport;
// the first line waits about a second for it, then every line is lost and
// counted so. Once it is free, a new pass writes after the old lines.
TEST_F(ReportTest, ReportHeldWithoutSharingLosesItsLinesAndSaysSo) {
  MakeFile(ReportFile(), "old\r\n");
  const HANDLE holder =
      CreateFileW(ReportFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  Report(platform_).ClearReport();
  EXPECT_EQ(LogAll({u"C:\\lost.txt", u"C:\\lost2.txt"}), ReportOutcome::NotWritten);
  EXPECT_EQ(platform_.pausedMs, 1000u);
  CloseHandle(holder);
  EXPECT_EQ(ReadWholeFile(ReportFile()), "old\r\n");

  EXPECT_EQ(LogAll({u"C:\\kept.txt"}), ReportOutcome::Complete);
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
  Report report(platform_);
  escaner::ScanFolder(platform_, scanned.Path16(), counters, progress, contentCheck, report);
  report.CloseReport();
  CloseHandle(holder);

  EXPECT_EQ(counters.FilesScanned, 3);
  EXPECT_EQ(counters.FilesDone, 3);
  EXPECT_EQ(counters.FilesInfected, 2);
  EXPECT_EQ(report.Outcome(), ReportOutcome::NotWritten);
  EXPECT_EQ(ReadWholeFile(ReportFile()), "");
}

// The report's path is UTF-16 all the way: a folder whose name the code page
// lacks still gets its report written and removed.
TEST(ReportOutsideTheCodePage, IsWrittenAndRemovedThroughTheWidePath) {
  TempFolder temp;
  const std::wstring folder = temp.Path() + L"Informe \u03A9\u4E2D\\";
  MakeFolder(folder);
  PlatformWithReportIn platform(folder);

  Report written(platform);
  written.LogInfected(u"C:\\x.txt");
  written.CloseReport();
  EXPECT_EQ(ReadWholeFile(folder + L"Malware.txt"), "C:\\x.txt\r\n");
  SetFileAttributesW((folder + L"Malware.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  Report(platform).ClearReport();
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

  bool heldElsewhere = true;
  const escaner::FileHandle report = platform_.OpenForAppend(ReportPath(), heldElsewhere);
  ASSERT_NE(report, kNoFile);
  EXPECT_TRUE(platform_.Write(report, ""));
  EXPECT_TRUE(platform_.Write(report, "abc"));
  platform_.Close(report);
  EXPECT_EQ(ReadWholeFile(ReportFile()), "rabc");
}

}  // namespace
