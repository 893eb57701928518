// Both passes of the walk through the real Win32 platform, over trees made on
// the Linux side: names the ANSI code page lacks beside their look-alikes,
// names the path rules would re-read, a chain of folders far past MAX_PATH,
// and directory links, which are not followed wherever they lead. What is
// counted, what is flagged and the report's exact bytes are read back.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "scan/content_check.h"
#include "scan/passes.h"
#include "win32/record_class_refusal.h"
#include "win32/report_redirect.h"
#include "win32/temp_tree.h"

namespace {

using escaner_test::LinuxFixture;
using escaner_test::PlatformWithReportIn;
using escaner_test::ReadWholeFile;
using escaner_test::TempFolder;
using escaner_test::U16;

struct WalkResult {
  escaner::ScanCounters counters;
  std::vector<std::string> lines;  // the report's, in order, without CR LF
};

// The ways a volume can answer the listing: with the record class that
// carries file IDs, refusing it, refusing the class without IDs too.
enum class Volume { Ordinary, RefusingIds, RefusingRecords };

WalkResult WalkBothPasses(const std::wstring& folder, Volume volume = Volume::Ordinary) {
  TempFolder reportFolder;
  escaner_test::RefusingRecordClasses<PlatformWithReportIn> platform(reportFolder.Path());
  if (volume != Volume::Ordinary) platform.Refuse(FileIdBothDirectoryInfo, ERROR_NOT_SUPPORTED);
  if (volume == Volume::RefusingRecords)
    platform.Refuse(FileFullDirectoryInfo, ERROR_INVALID_FUNCTION);
  WalkResult result;
  escaner::CountFiles(platform, U16(folder), result.counters);
  escaner::ScanProgress progress(platform, result.counters);
  escaner::ContentCheck contentCheck(platform, progress);
  escaner::Report reportFile(platform);
  escaner::ScanFolder(platform, U16(folder), result.counters, progress, contentCheck, reportFile);
  reportFile.CloseReport();
  const std::string report = ReadWholeFile(reportFolder.Path() + L"Malware.txt").value_or("");
  for (std::size_t start = 0; start < report.size();) {
    const std::size_t end = report.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "the report's last line has no CR LF";
      break;
    }
    result.lines.push_back(report.substr(start, end - start));
    start = end + 2;
  }
  return result;
}

// The folder's ASCII path as the report writes it.
std::string Ascii(const std::wstring& path) { return {path.begin(), path.end()}; }

std::multiset<std::string> AsMultiset(const std::vector<std::string>& lines) {
  return {lines.begin(), lines.end()};
}

// Every file is tested by its own name, once: each look-alike's line holds
// '?' where the code page lacks a character, beside its original's line.
TEST(WalkOnRealFiles, EveryNameIsTestedOnceByItsOwnName) {
  const std::wstring root = LinuxFixture(L"names");
  ASSERT_FALSE(root.empty());
  const std::string r = Ascii(root);
  const std::multiset<std::string> expected = {
      r + "?b.txt",       r + "Ab.txt",       r + "?ull.txt",
      r + "full.txt",     r + "?.txt",        r + "????\\dentro.txt",
      r + "?\\fuera.txt", r + "a\\fuera.txt", r + "x.txt.",
      r + "x.txt",        r + "y ",           r + "y",
      r + "NUL",          r + "aux.txt",      r + "caf\xE9.txt",
  };
  const WalkResult walk = WalkBothPasses(root);
  EXPECT_EQ(walk.counters.FilesScanned, 15);
  EXPECT_EQ(walk.counters.FilesDone, 15);
  EXPECT_EQ(walk.counters.FilesInfected, 15) << "a file was read as another or not at all";
  EXPECT_EQ(AsMultiset(walk.lines), expected);
}

// 150 nested folders, paths past 2,400 characters: walked to the bottom in
// both passes.
TEST(WalkOnRealFiles, DeepTreeIsWalkedToTheBottom) {
  const std::wstring root = LinuxFixture(L"deep");
  ASSERT_FALSE(root.empty());
  std::string path = Ascii(root);
  std::vector<std::string> expected;
  for (int level = 0; level < 150; ++level) {
    char name[32];
    std::snprintf(name, sizeof name, "nivel-profundo-%03d\\", level);
    path += name;
    if (level == 75 || level == 149) expected.push_back(path + "hoja.txt");
  }
  ASSERT_GT(expected.back().size(), 2400u);
  const WalkResult walk = WalkBothPasses(root);
  EXPECT_EQ(walk.counters.FilesScanned, 2);
  EXPECT_EQ(walk.counters.FilesInfected, 2);
  EXPECT_EQ(walk.lines, expected);
}

// Directory links are not followed, however the volume lists: two links
// back up (sub\enlace -> .., sub\hondo\arriba -> ..\..), a link to a sibling
// and one out of the tree. Each real file of the tree counts once, none
// outside it, and both passes agree.
TEST(WalkOnRealFiles, DirectoryLinksAreNotFollowed) {
  struct Case {
    const wchar_t* tree;
    std::vector<std::string> files;  // below the tree, as the report writes them
  };
  const Case cases[] = {
      {L"cycle", {"arriba.txt", "sub\\medio.txt", "sub\\hondo\\fondo.txt"}},
      {L"links", {"dentro\\dentro.txt", "hermana\\hermana.txt"}},
  };
  for (const Volume volume : {Volume::Ordinary, Volume::RefusingIds, Volume::RefusingRecords}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(static_cast<int>(volume));
      SCOPED_TRACE(escaner_test::Utf8(std::wstring(c.tree)));
      const std::wstring root = LinuxFixture(c.tree);
      ASSERT_FALSE(root.empty());
      std::multiset<std::string> expected;
      for (const std::string& file : c.files) expected.insert(Ascii(root) + file);
      const WalkResult walk = WalkBothPasses(root, volume);
      const auto count = static_cast<std::int32_t>(c.files.size());
      EXPECT_EQ(walk.counters.FilesScanned, count);
      EXPECT_EQ(walk.counters.FilesDone, count);
      EXPECT_EQ(walk.counters.FilesInfected, count);
      EXPECT_EQ(AsMultiset(walk.lines), expected);
    }
  }
}

}  // namespace
