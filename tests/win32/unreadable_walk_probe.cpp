// Unreadable folders and files, as an unprivileged user meets them: both
// passes skip the same folders, count the same files, and a file that does
// not open is counted but not flagged.
//
// Run by tests/win32/unprivileged_walk.sh, which builds the tree (owned by
// another user, some of it mode 000), runs this program as a user whom those
// permissions bite, with a Wine prefix of its own, and passes the tree in
// ESCANER_UNREADABLE_TREE (a Windows path with its trailing backslash):
//   abierta.txt          readable, flagged
//   cerrado.txt          mode 000: counted, not flagged
//   cerrada\dentro.txt   folder mode 000: skipped by both passes
//   sub\visible.txt      readable, flagged
//   sub\oculta\x.txt     folder mode 000: skipped
//   sub\sin-lista\n.txt  folder mode 311, entered but not listable: skipped
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "scan/content_check.h"
#include "scan/passes.h"
#include "win32/report_redirect.h"
#include "win32/temp_tree.h"

namespace {

using escaner_test::PlatformWithReportIn;
using escaner_test::TempFolder;
using escaner_test::U16;

std::wstring TreeFolder() {
  wchar_t folder[4096] = {};
  const DWORD length = GetEnvironmentVariableW(L"ESCANER_UNREADABLE_TREE", folder, 4096);
  return length > 0 && length < 4096 ? std::wstring(folder, length) : std::wstring();
}

TEST(UnreadableEntries, AreSkippedAlikeByBothPasses) {
  const std::wstring tree = TreeFolder();
  ASSERT_FALSE(tree.empty())
      << "ESCANER_UNREADABLE_TREE not set: run tests/win32/unprivileged_walk.sh";
  TempFolder reportFolder;
  PlatformWithReportIn platform(reportFolder.Path());

  // The permissions must bite for this user, or the walk's result proves
  // nothing.
  for (const wchar_t* folder : {L"cerrada\\", L"sub\\oculta\\", L"sub\\sin-lista\\"}) {
    SCOPED_TRACE(escaner_test::Utf8(std::wstring(folder)));
    const escaner::FolderHandle open = platform.OpenFolder(U16(tree + folder));
    EXPECT_EQ(open, escaner::kNoFolder) << "this user can list a folder it should not";
    if (open != escaner::kNoFolder) platform.CloseFolder(open);
  }
  const escaner::FileHandle closed = platform.OpenForReading(U16(tree + L"cerrado.txt"));
  EXPECT_EQ(closed, escaner::kNoFile) << "this user can read a file it should not";
  if (closed != escaner::kNoFile) platform.Close(closed);

  escaner::ScanCounters counters;
  escaner::CountFiles(platform, U16(tree), counters);
  EXPECT_EQ(counters.FilesScanned, 3) << "abierta.txt, cerrado.txt, sub\\visible.txt";
  escaner::ScanProgress progress(platform, counters);
  escaner::ContentCheck contentCheck(platform, progress);
  escaner::Report report(platform);
  escaner::ScanFolder(platform, U16(tree), counters, progress, contentCheck, report);
  report.CloseReport();
  EXPECT_EQ(counters.FilesDone, 3) << "the scanning pass met other files than the count";
  EXPECT_EQ(counters.FilesInfected, 2);
  const std::string root(tree.begin(), tree.end());
  EXPECT_EQ(escaner_test::ReadWholeFile(reportFolder.Path() + L"Malware.txt"),
            root + "abierta.txt\r\n" + root + "sub\\visible.txt\r\n");
}

}  // namespace
