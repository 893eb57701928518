#include "scan/tree_walk.h"

#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace escaner {
namespace {

using testing::FakePlatform;

// The files the scanning pass handed to the content test, in order.
std::vector<std::string> TestedFiles(const FakePlatform& fake) {
  std::vector<std::string> files;
  for (const std::string& call : fake.CallsStartingWith({"OpenForReading "})) files.push_back(call.substr(15));
  return files;
}

struct Walk {
  FakePlatform fake;
  ScanCounters counters;

  void Run(const std::string& folder) {
    CountFiles(fake, folder, counters);
    ContentTest contentTest(fake);
    ScanFolder(fake, folder, counters, contentTest);
  }
};

TEST(TreeWalk, OwnFilesFirstThenSubfoldersDepthFirstInListingOrder) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\top\\z.txt", "1");
  fake.AddFolder("T:\\top\\b");
  fake.AddFile("T:\\top\\b\\inner.bin", "2");
  fake.AddFolder("T:\\top\\b\\deeper");
  fake.AddFile("T:\\top\\b\\deeper\\last", "3");
  fake.AddFile("T:\\top\\a.txt", "4");
  fake.AddFolder("T:\\top\\.git");
  fake.AddFile("T:\\top\\.git\\HEAD", "5");
  fake.AddFolder("T:\\top\\empty");
  fake.AddFile("T:\\top\\noext", "6", kAttributeHidden | kAttributeSystem | kAttributeReadOnly);
  walk.Run("T:\\top\\");

  const std::vector<std::string> expected = {
      "T:\\top\\z.txt",          "T:\\top\\a.txt",        "T:\\top\\noext",
      "T:\\top\\b\\inner.bin",   "T:\\top\\b\\deeper\\last", "T:\\top\\.git\\HEAD"};
  EXPECT_EQ(TestedFiles(fake), expected);
  EXPECT_EQ(walk.counters.FilesScanned, 6);
  EXPECT_EQ(walk.counters.FilesDone, 6);
  EXPECT_EQ(fake.openListingCount(), 0);
  // Each folder listed twice per pass: first for its files, then its subfolders.
  const std::vector<std::string> listings = fake.CallsStartingWith({"FindFirst "});
  ASSERT_EQ(listings.size(), 20u);
  EXPECT_EQ(std::vector<std::string>(listings.begin(), listings.begin() + 10), (std::vector<std::string>{
                                  "FindFirst T:\\top\\*.*", "FindFirst T:\\top\\*",
                                  "FindFirst T:\\top\\b\\*.*", "FindFirst T:\\top\\b\\*",
                                  "FindFirst T:\\top\\b\\deeper\\*.*", "FindFirst T:\\top\\b\\deeper\\*",
                                  "FindFirst T:\\top\\.git\\*.*", "FindFirst T:\\top\\.git\\*",
                                  "FindFirst T:\\top\\empty\\*.*", "FindFirst T:\\top\\empty\\*"}));
}

TEST(TreeWalk, DriveRootGivesFullPathsWithOneBackslash) {
  Walk walk;
  walk.fake.AddFile("T:\\a.txt", "x");
  walk.fake.AddFile("T:\\d\\b.txt", "y");
  walk.Run("T:\\");
  EXPECT_EQ(TestedFiles(walk.fake), (std::vector<std::string>{"T:\\a.txt", "T:\\d\\b.txt"}));
  EXPECT_EQ(walk.fake.CallsStartingWith({"FindFirst "})[0], "FindFirst T:\\*.*");
}

TEST(TreeWalk, EmptyTreeCountsNothingAndTouchesNoBar) {
  Walk walk;
  walk.fake.AddFolder("T:\\empty\\only\\folders");
  walk.Run("T:\\empty\\");
  EXPECT_EQ(walk.counters.FilesScanned, 0);
  EXPECT_TRUE(walk.fake.CallsStartingWith({"SetBar", "RepaintNow"}).empty());
}

TEST(TreeWalk, UnlistableFoldersAreSkippedAlikeByBothPasses) {
  for (auto which : {FakePlatform::Listing::First, FakePlatform::Listing::Second, FakePlatform::Listing::Both}) {
    Walk walk;
    auto& fake = walk.fake;
    fake.AddFile("T:\\r\\locked\\own.txt", "a");
    fake.AddFile("T:\\r\\locked\\sub\\deep.txt", "b");
    fake.AddFile("T:\\r\\sibling\\s.txt", "c");
    fake.FailListing("T:\\r\\locked", which);
    walk.Run("T:\\r\\");
    std::vector<std::string> expected;
    if (which == FakePlatform::Listing::Second) expected.push_back("T:\\r\\locked\\own.txt");
    if (which == FakePlatform::Listing::First) expected.push_back("T:\\r\\locked\\sub\\deep.txt");
    expected.push_back("T:\\r\\sibling\\s.txt");
    EXPECT_EQ(TestedFiles(fake), expected);
    EXPECT_EQ(walk.counters.FilesScanned, static_cast<std::int32_t>(expected.size()));
  }
}

TEST(TreeWalk, OverallBarShowsTheShareReached) {
  const std::pair<int, std::vector<std::string>> cases[] = {
      {4, {"25", "50", "75", "100"}},
      {7, {"14", "28", "42", "57", "71", "85", "100"}},
      {3, {"33", "66", "100"}},
  };
  for (const auto& [files, positions] : cases) {
    Walk walk;
    for (int i = 0; i < files; ++i) walk.fake.AddFile("T:\\d\\f" + std::to_string(i), "x");
    walk.Run("T:\\d\\");
    std::vector<std::string> seen;
    for (const std::string& call : walk.fake.CallsStartingWith({"SetBarPosition Overall "})) seen.push_back(call.substr(23));
    EXPECT_EQ(seen, positions) << files;
  }
}

TEST(TreeWalk, FileStepMovesOverallBarColoursFileBarGoldThenTests) {
  Walk walk;
  walk.fake.AddFile("T:\\d\\one", "a/");
  walk.Run("T:\\d\\");
  const auto ops = walk.fake.CallsStartingWith({"SetBar", "RepaintNow", "ShowNoActivate", "OpenForReading", "OpenForAppend"});
  const std::vector<std::string> expected = {
      "SetBarPosition Overall 100", "SetBarColor File gold", "RepaintNow OverallBar",
      "RepaintNow Window", "ShowNoActivate", "OpenForReading T:\\d\\one",
      "SetBarPosition File 100", "SetBarColor File orange", "RepaintNow FileBar",
      "SetBarPosition File 0", "SetBarColor File orange", "RepaintNow FileBar",
      "OpenForAppend C:\\Prog\\Malware.txt"};
  EXPECT_EQ(ops, expected);
  EXPECT_EQ(walk.counters.FilesInfected, 1);
}

TEST(TreeWalk, FilesAppearingOrVanishingAfterTheCountAreScannedAsFound) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\d\\kept", "x");
  fake.AddFile("T:\\d\\gone", "x");
  bool changed = false;
  // The scanning pass begins with its first bar operation.
  fake.beforeEachCall = [&](const std::string& call) {
    if (!changed && call == "FindFirst T:\\d\\*.*" && walk.counters.FilesScanned == 2) {
      changed = true;
      fake.Remove("T:\\d\\gone");
      fake.AddFile("T:\\d\\new1", "a/");
      fake.AddFile("T:\\d\\new2", "b/");
    }
  };
  walk.Run("T:\\d\\");
  EXPECT_TRUE(changed);
  EXPECT_EQ(walk.counters.FilesScanned, 2);
  EXPECT_EQ(walk.counters.FilesDone, 3);
  EXPECT_EQ(walk.counters.FilesInfected, 2);
  std::vector<std::string> seen;
  for (const std::string& call : fake.CallsStartingWith({"SetBarPosition Overall "})) seen.push_back(call.substr(23));
  EXPECT_EQ(seen, (std::vector<std::string>{"50", "100", "150"}));
}

TEST(TreeWalk, FilesAfterAnEmptyCountShowAFullBarWithoutDividingByZero) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFolder("T:\\d");
  bool added = false;
  fake.beforeEachCall = [&](const std::string& call) {
    // The counting pass lists T:\d twice; the scanning pass starts at the third.
    if (!added && call == "FindFirst T:\\d\\*.*" && fake.CallsStartingWith({"FindFirst T:\\d\\*"}).size() == 2) {
      added = true;
      fake.AddFile("T:\\d\\late", "\x01\x02");
    }
  };
  walk.Run("T:\\d\\");
  ASSERT_TRUE(added);
  EXPECT_EQ(walk.counters.FilesScanned, 0);
  const auto bars = fake.CallsStartingWith({"SetBarPosition"});
  EXPECT_EQ(bars, (std::vector<std::string>{"SetBarPosition Overall 100", "SetBarPosition File 100", "SetBarPosition File 0"}));
}

TEST(TreeWalk, FolderTooDeepForAWholePatternIsLeftOutByBothPasses) {
  Walk walk;
  auto& fake = walk.fake;
  // "T:\r\" + name + "\" + "*.*": the deep folder's pattern is 260 bytes,
  // its sibling's 259.
  const std::string base = "T:\\r\\";
  const std::string deep = base + std::string(251, 'd') + "\\";
  const std::string fits = base + std::string(250, 'f') + "\\";
  ASSERT_EQ(deep.size() + 3, 260u);
  ASSERT_EQ(fits.size() + 3, 259u);
  fake.AddFile(deep + "x", "a");
  fake.AddFile(fits + "y", "a");
  walk.Run(base);
  EXPECT_EQ(TestedFiles(fake), (std::vector<std::string>{fits + "y"}));
  EXPECT_EQ(walk.counters.FilesScanned, 1);
  for (const std::string& call : fake.CallsStartingWith({"FindFirst "})) {
    EXPECT_LE(call.size() - 10, kMaxPatternLength) << call;
  }
}

TEST(TreeWalk, LinksAndJunctionsAreNotEnteredOtherReparsePointsAre) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\r\\real\\a", "1");
  fake.AddFolder("T:\\r\\junction", kAttributeReparsePoint, kReparseTagMountPoint);
  fake.AddFile("T:\\r\\junction\\a", "1");
  fake.AddFolder("T:\\r\\symlink", kAttributeReparsePoint, kReparseTagSymlink);
  fake.AddFile("T:\\r\\symlink\\a", "1");
  fake.AddFolder("T:\\r\\cloud", kAttributeReparsePoint, 0x9000001A);
  fake.AddFile("T:\\r\\cloud\\a", "1");
  // A stale tag on a folder that is no reparse point means nothing.
  fake.AddFolder("T:\\r\\plain", kAttributeHidden | kAttributeSystem | kAttributeReadOnly, kReparseTagSymlink);
  fake.AddFile("T:\\r\\plain\\a", "1");
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake), (std::vector<std::string>{"T:\\r\\real\\a", "T:\\r\\cloud\\a", "T:\\r\\plain\\a"}));
  EXPECT_EQ(walk.counters.FilesScanned, 3);
}

TEST(TreeWalk, OnlyDotAndDotDotAreSkippedByName) {
  const std::pair<std::string, bool> cases[] = {
      {".", false}, {"..", false}, {"...", true}, {".git", true}, {"..a", true}, {"a", true}};
  for (const auto& [name, entered] : cases) {
    DirEntry entry;
    entry.attributes = kAttributeDirectory;
    std::snprintf(entry.name, sizeof entry.name, "%s", name.c_str());
    EXPECT_EQ(IsEnteredSubfolder(entry), entered) << name;
  }
}

}  // namespace
}  // namespace escaner
