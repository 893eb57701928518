#include "scan/tree_walk.h"

#include "scan/passes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake/fake_platform.h"

namespace escaner {
namespace {

using escaner_test::FakePlatform;
using escaner_test::FromUtf8;

// The files the scanning pass handed to the content test, in order.
std::vector<std::string> TestedFiles(const FakePlatform& fake) {
  std::vector<std::string> files;
  for (const std::string& call : fake.CallsStartingWith({"OpenForReading "}))
    files.push_back(call.substr(15));
  return files;
}

// The folders each pass opened, in order.
std::vector<std::string> OpenedFolders(const FakePlatform& fake) {
  std::vector<std::string> folders;
  for (const std::string& call : fake.CallsStartingWith({"OpenFolder "}))
    folders.push_back(call.substr(11));
  return folders;
}

// The folders whose identity was asked of their handles, in order.
std::vector<std::string> IdentityQueries(const FakePlatform& fake) {
  std::vector<std::string> folders;
  for (const std::string& call : fake.CallsStartingWith({"FolderIdentity "}))
    folders.push_back(call.substr(15));
  return folders;
}

// `onePass` twice: what both passes do alike.
std::vector<std::string> Twice(std::vector<std::string> onePass) {
  const std::size_t size = onePass.size();
  for (std::size_t i = 0; i < size; ++i) onePass.push_back(onePass[i]);
  return onePass;
}

struct Walk {
  FakePlatform fake;
  ScanCounters counters;

  Walk() { fake.AddFolder("C:\\Prog"); }  // the report's folder
  void Run(const std::string& folder) {
    CountFiles(fake, FromUtf8(folder), counters);
    ScanProgress progress(fake, counters);
    ContentCheck contentCheck(fake, progress);
    Report report(fake);
    ScanFolder(fake, FromUtf8(folder), counters, progress, contentCheck, report);
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

  const std::vector<std::string> expected = {"T:\\top\\z.txt",           "T:\\top\\a.txt",
                                             "T:\\top\\noext",           "T:\\top\\b\\inner.bin",
                                             "T:\\top\\b\\deeper\\last", "T:\\top\\.git\\HEAD"};
  EXPECT_EQ(TestedFiles(fake), expected);
  EXPECT_EQ(walk.counters.FilesScanned, 6);
  EXPECT_EQ(walk.counters.FilesDone, 6);
  EXPECT_EQ(fake.openFolderCount(), 0);
  // Each folder opened once per pass and listed twice: its files, then its
  // subfolders; closed before the first subfolder is opened.
  const std::vector<std::string> folders = {"T:\\top\\", "T:\\top\\b\\", "T:\\top\\b\\deeper\\",
                                            "T:\\top\\.git\\", "T:\\top\\empty\\"};
  std::vector<std::string> bothPasses = folders;
  bothPasses.insert(bothPasses.end(), folders.begin(), folders.end());
  EXPECT_EQ(OpenedFolders(fake), bothPasses);
  EXPECT_EQ(fake.CallsStartingWith({"FirstEntry"}).size(), 20u);
  EXPECT_EQ(fake.mostFoldersOpenAtOnce(), 1);
  // Only the chosen folder's identity is asked of its handle, once a pass:
  // every other folder's comes from its parent's listing.
  EXPECT_EQ(IdentityQueries(fake), (std::vector<std::string>{"T:\\top", "T:\\top"}));
}

TEST(TreeWalk, DriveRootGivesFullPathsWithOneBackslash) {
  Walk walk;
  walk.fake.AddFile("T:\\a.txt", "x");
  walk.fake.AddFile("T:\\d\\b.txt", "y");
  walk.Run("T:\\");
  EXPECT_EQ(TestedFiles(walk.fake), (std::vector<std::string>{"T:\\a.txt", "T:\\d\\b.txt"}));
  EXPECT_EQ(OpenedFolders(walk.fake)[0], "T:\\");
}

TEST(TreeWalk, EmptyTreeCountsNothingAndTouchesNoBar) {
  Walk walk;
  walk.fake.AddFolder("T:\\empty\\only\\folders");
  walk.Run("T:\\empty\\");
  EXPECT_EQ(walk.counters.FilesScanned, 0);
  EXPECT_TRUE(walk.fake.CallsStartingWith({"SetBar", "RepaintNow"}).empty());
}

TEST(TreeWalk, UnlistableFoldersAreSkippedAlikeByBothPasses) {
  enum class Failure { FirstListing, SecondListing, BothListings, Open };
  for (Failure failure :
       {Failure::FirstListing, Failure::SecondListing, Failure::BothListings, Failure::Open}) {
    Walk walk;
    auto& fake = walk.fake;
    fake.AddFile("T:\\r\\locked\\own.txt", "a");
    fake.AddFile("T:\\r\\locked\\sub\\deep.txt", "b");
    fake.AddFile("T:\\r\\sibling\\s.txt", "c");
    if (failure == Failure::FirstListing)
      fake.FailListing("T:\\r\\locked", FakePlatform::Listing::First);
    if (failure == Failure::SecondListing)
      fake.FailListing("T:\\r\\locked", FakePlatform::Listing::Second);
    if (failure == Failure::BothListings)
      fake.FailListing("T:\\r\\locked", FakePlatform::Listing::Both);
    if (failure == Failure::Open) fake.FailOpen("T:\\r\\locked\\");
    walk.Run("T:\\r\\");
    std::vector<std::string> expected;
    if (failure == Failure::SecondListing) expected.push_back("T:\\r\\locked\\own.txt");
    if (failure == Failure::FirstListing) expected.push_back("T:\\r\\locked\\sub\\deep.txt");
    expected.push_back("T:\\r\\sibling\\s.txt");
    EXPECT_EQ(TestedFiles(fake), expected) << static_cast<int>(failure);
    EXPECT_EQ(walk.counters.FilesScanned, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(fake.openFolderCount(), 0);
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
    for (const std::string& call : walk.fake.CallsStartingWith({"SetBarPosition Overall "}))
      seen.push_back(call.substr(23));
    EXPECT_EQ(seen, positions) << files;
  }
}

TEST(TreeWalk, FileStepMovesOverallBarColoursFileBarGoldThenTests) {
  Walk walk;
  walk.fake.AddFile("T:\\d\\one", "a/");
  walk.Run("T:\\d\\");
  const auto ops = walk.fake.CallsStartingWith(
      {"SetBar", "RepaintNow", "ShowNoActivate", "OpenForReading", "OpenForAppend"});
  const std::vector<std::string> expected = {"SetBarPosition Overall 100",
                                             "SetBarColor File gold",
                                             "RepaintNow OverallBar",
                                             "RepaintNow Window",
                                             "ShowNoActivate",
                                             "OpenForReading T:\\d\\one",
                                             "SetBarPosition File 100",
                                             "SetBarColor File orange",
                                             "RepaintNow FileBar",
                                             "SetBarPosition File 0",
                                             "SetBarColor File orange",
                                             "RepaintNow FileBar",
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
  fake.beforeEachCall = [&](const std::string& call) {
    if (!changed && call == "OpenFolder T:\\d\\" && walk.counters.FilesScanned == 2) {
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
  for (const std::string& call : fake.CallsStartingWith({"SetBarPosition Overall "}))
    seen.push_back(call.substr(23));
  EXPECT_EQ(seen, (std::vector<std::string>{"50", "100", "150"}));
}

TEST(TreeWalk, FilesAfterAnEmptyCountShowAFullBarWithoutDividingByZero) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFolder("T:\\d");
  bool added = false;
  fake.beforeEachCall = [&](const std::string& call) {
    // The counting pass opens T:\d once; the scanning pass is the second.
    if (!added && call == "OpenFolder T:\\d\\" &&
        fake.CallsStartingWith({"OpenFolder"}).size() == 1) {
      added = true;
      fake.AddFile("T:\\d\\late", "\x01\x02");
    }
  };
  walk.Run("T:\\d\\");
  ASSERT_TRUE(added);
  EXPECT_EQ(walk.counters.FilesScanned, 0);
  const auto bars = fake.CallsStartingWith({"SetBarPosition"});
  EXPECT_EQ(bars, (std::vector<std::string>{"SetBarPosition Overall 100", "SetBarPosition File 100",
                                            "SetBarPosition File 0"}));
}

TEST(TreeWalk, LongPathsAreWalkedWholeByBothPasses) {
  Walk walk;
  auto& fake = walk.fake;
  // Paths well past the 259 characters of an ordinary Windows path.
  const std::string deep = "T:\\r\\" + std::string(251, 'd') + "\\" + std::string(200, 'e') + "\\";
  fake.AddFile(deep + "x", "a/");
  fake.AddFile("T:\\r\\y", "a");
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake), (std::vector<std::string>{"T:\\r\\y", deep + "x"}));
  EXPECT_EQ(walk.counters.FilesScanned, 2);
  EXPECT_EQ(fake.Content("C:\\Prog\\Malware.txt"), deep + "x\r\n");
}

TEST(TreeWalk, SixteenThousandNestedFoldersAreWalkedToTheBottom) {
  Walk walk;
  auto& fake = walk.fake;
  // One-letter folders to a path of 32,767 characters, the longest a
  // Windows path can be: the walk's own stack holds the levels.
  constexpr int kLevels = 16'000;
  std::string path = "T:\\";
  for (int level = 0; level < kLevels; ++level) path += "a\\";
  fake.AddFolder(path);
  fake.AddFile("T:\\top.txt", "a/");
  const std::string bottom = path + "fondo.txt";
  ASSERT_EQ(bottom.size(), 32'012u);
  fake.AddFile(bottom, "b/");
  fake.recording = false;
  walk.Run("T:\\");
  EXPECT_EQ(walk.counters.FilesScanned, 2);
  EXPECT_EQ(walk.counters.FilesInfected, 2);
  EXPECT_EQ(fake.Content("C:\\Prog\\Malware.txt"), "T:\\top.txt\r\n" + bottom + "\r\n");
  EXPECT_EQ(fake.foldersOpened, 2u * (kLevels + 1));
  EXPECT_EQ(fake.mostFoldersOpenAtOnce(), 1);
}

TEST(TreeWalk, FolderListedWithTheIdentityOfOneAboveIsNeitherEnteredNorOpened) {
  Walk walk;
  auto& fake = walk.fake;
  // Links as a share shows them: plain folders whose records carry the
  // file ID of the folder they lead to.
  fake.AddFile("T:\\r\\a.txt", "a/");
  fake.AddFile("T:\\r\\sub\\b.txt", "b/");
  fake.AddFolderLink("T:\\r\\sub\\enlace", "T:\\r");                    // sub\enlace -> ..
  fake.AddFolderLink("T:\\r\\sub\\hondo\\arriba", "T:\\r");             // sub\hondo\arriba -> ..\..
  fake.AddFolderLink("T:\\r\\sub\\hondo\\mismo", "T:\\r\\sub\\hondo");  // a link to itself
  fake.AddFile("T:\\r\\sub\\hondo\\c.txt", "c/");
  // A second way to a folder that is not above it is walked again.
  fake.AddFile("T:\\otro\\d.txt", "d/");
  fake.AddFolderLink("T:\\r\\atajo", "T:\\otro");
  walk.Run("T:\\r\\");
  const std::vector<std::string> expected = {"T:\\r\\a.txt", "T:\\r\\sub\\b.txt",
                                             "T:\\r\\sub\\hondo\\c.txt", "T:\\r\\atajo\\d.txt"};
  EXPECT_EQ(TestedFiles(fake), expected);
  EXPECT_EQ(walk.counters.FilesScanned, 4);
  EXPECT_EQ(walk.counters.FilesDone, 4);
  // The listing already tells where each link leads: none is opened, and
  // no identity but the chosen folder's is asked.
  EXPECT_EQ(OpenedFolders(fake),
            Twice({"T:\\r\\", "T:\\r\\sub\\", "T:\\r\\sub\\hondo\\", "T:\\r\\atajo\\"}));
  EXPECT_EQ(IdentityQueries(fake), Twice({"T:\\r"}));
  EXPECT_EQ(fake.openFolderCount(), 0);
}

// A reparse point's record gives the point's own file ID, not that of the
// folder it leads to: an entered one is asked by its handle, and one that
// leads back up is opened, asked, closed and not listed.
TEST(TreeWalk, EnteredReparsePointIsAskedByItsHandleAndNotEnteredWhenItLeadsBackUp) {
  constexpr std::uint32_t kCloudTag = 0x9000001A;
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\r\\a.txt", "a/");
  fake.AddFolder("T:\\r\\nube", kAttributeReparsePoint, kCloudTag);
  fake.AddFile("T:\\r\\nube\\b.txt", "b/");
  fake.AddFolderLink("T:\\r\\nube\\vuelta", "T:\\r", kAttributeReparsePoint, kCloudTag);
  fake.AddFile("T:\\r\\nube\\hondo\\c.txt", "c/");
  fake.AddFolderLink("T:\\r\\nube\\hondo\\mismo", "T:\\r\\nube\\hondo", kAttributeReparsePoint,
                     kCloudTag);
  ASSERT_NE(fake.ListedFileId("T:\\r\\nube\\vuelta"), fake.ListedFileId("T:\\r"))
      << "the record must not tell where the point leads";
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake), (std::vector<std::string>{"T:\\r\\a.txt", "T:\\r\\nube\\b.txt",
                                                         "T:\\r\\nube\\hondo\\c.txt"}));
  EXPECT_EQ(walk.counters.FilesScanned, 3);
  EXPECT_EQ(OpenedFolders(fake), Twice({"T:\\r\\", "T:\\r\\nube\\", "T:\\r\\nube\\vuelta\\",
                                        "T:\\r\\nube\\hondo\\", "T:\\r\\nube\\hondo\\mismo\\"}));
  EXPECT_EQ(IdentityQueries(fake),
            Twice({"T:\\r", "T:\\r\\nube", "T:\\r\\nube\\vuelta", "T:\\r\\nube\\hondo\\mismo"}));
  EXPECT_EQ(fake.CallsStartingWith({"FirstEntry"}).size(), 2u * 2 * 3)
      << "a point back up was listed";
  EXPECT_EQ(fake.openFolderCount(), 0);
}

// A file ID of 0 or all ones names nothing: the folder is entered and
// compared with nothing, even where it leads back up. Below it the other
// records still tell, so the walk goes round once and no more.
TEST(TreeWalk, FolderListedWithAnUnknownFileIdIsEnteredAndComparedWithNothing) {
  for (const std::uint64_t unknown : {std::uint64_t{0}, ~std::uint64_t{0}}) {
    SCOPED_TRACE(unknown);
    Walk walk;
    auto& fake = walk.fake;
    fake.AddFile("T:\\r\\a.txt", "a/");
    fake.AddFile("T:\\r\\sub\\b.txt", "b/");
    fake.AddFolderLink("T:\\r\\sub\\enlace", "T:\\r");
    fake.ListFileIdAs("T:\\r\\sub\\enlace", unknown);
    fake.AddFile("T:\\r\\otro\\c.txt", "c/");
    fake.ListFileIdAs("T:\\r\\otro", unknown);
    walk.Run("T:\\r\\");
    EXPECT_EQ(
        TestedFiles(fake),
        (std::vector<std::string>{"T:\\r\\a.txt", "T:\\r\\sub\\b.txt", "T:\\r\\sub\\enlace\\a.txt",
                                  "T:\\r\\sub\\enlace\\otro\\c.txt", "T:\\r\\otro\\c.txt"}));
    EXPECT_EQ(walk.counters.FilesScanned, 5);
    EXPECT_EQ(walk.counters.FilesDone, 5);
    // Asking the handle would not know better: only the chosen folder is asked.
    EXPECT_EQ(IdentityQueries(fake), Twice({"T:\\r"}));
  }
}

// A folder whose listing carries no file IDs (its volume refuses the class
// that has them) tells nothing of its subfolders: each is asked by its
// handle, so a link back up below it is still caught.
TEST(TreeWalk, SubfoldersOfAFolderListedWithoutFileIdsAreAskedByTheirHandles) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\r\\a.txt", "a/");
  fake.AddFile("T:\\r\\red\\b.txt", "b/");
  fake.AddFile("T:\\r\\red\\dir\\c.txt", "c/");
  fake.AddFolderLink("T:\\r\\red\\dir\\arriba", "T:\\r");
  fake.AddFolderLink("T:\\r\\red\\dir\\mismo", "T:\\r\\red");
  fake.AddFile("T:\\r\\local\\d.txt", "d/");
  fake.ListWithoutFileIds("T:\\r\\red");
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake),
            (std::vector<std::string>{"T:\\r\\a.txt", "T:\\r\\red\\b.txt", "T:\\r\\red\\dir\\c.txt",
                                      "T:\\r\\local\\d.txt"}));
  EXPECT_EQ(walk.counters.FilesScanned, 4);
  EXPECT_EQ(walk.counters.FilesDone, 4);
  // red itself is told by the listing of T:\r, which carries IDs.
  EXPECT_EQ(IdentityQueries(fake), Twice({"T:\\r", "T:\\r\\red\\dir", "T:\\r\\red\\dir\\arriba",
                                          "T:\\r\\red\\dir\\mismo"}));
  EXPECT_EQ(fake.openFolderCount(), 0);
}

TEST(TreeWalk, FolderOfUnknownIdentityIsStillEntered) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\r\\sub\\x.txt", "a/");
  fake.ForgetIdentity("T:\\r");
  fake.ForgetIdentity("T:\\r\\sub");
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake), (std::vector<std::string>{"T:\\r\\sub\\x.txt"}));
  // With the volume unknown, the listing cannot tell sub's identity either.
  EXPECT_EQ(IdentityQueries(fake), Twice({"T:\\r", "T:\\r\\sub"}));
}

TEST(TreeWalk, LinksAndJunctionsAreNotEnteredOtherReparsePointsAre) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\r\\real\\a", "1");
  fake.AddFolder("T:\\r\\junction", kAttributeReparsePoint, kReparseTagMountPoint);
  fake.AddFile("T:\\r\\junction\\a", "1");
  fake.AddFolder("T:\\r\\symlink", kAttributeReparsePoint, kReparseTagSymlink);
  fake.AddFile("T:\\r\\symlink\\a", "1");
  fake.AddFolder("T:\\r\\unixlink", kAttributeReparsePoint, kReparseTagUnixLink);
  fake.AddFile("T:\\r\\unixlink\\a", "1");
  fake.AddFolder("T:\\r\\cloud", kAttributeReparsePoint, 0x9000001A);
  fake.AddFile("T:\\r\\cloud\\a", "1");
  // A stale tag on a folder that is no reparse point means nothing.
  fake.AddFolder("T:\\r\\plain", kAttributeHidden | kAttributeSystem | kAttributeReadOnly,
                 kReparseTagSymlink);
  fake.AddFile("T:\\r\\plain\\a", "1");
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake),
            (std::vector<std::string>{"T:\\r\\real\\a", "T:\\r\\cloud\\a", "T:\\r\\plain\\a"}));
  EXPECT_EQ(walk.counters.FilesScanned, 3);
  EXPECT_EQ(OpenedFolders(fake),
            Twice({"T:\\r\\", "T:\\r\\real\\", "T:\\r\\cloud\\", "T:\\r\\plain\\"}));
}

// Wine lists a Linux directory link as a reparse point with tag 0: like a
// link on Windows it is not followed, whether it leads to a sibling or out
// of the chosen tree, and both passes agree.
TEST(TreeWalk, UnixDirectoryLinksAreNotFollowed) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\r\\hermana\\a.txt", "a/");
  fake.AddFile("T:\\fuera\\b.txt", "b/");
  fake.AddFolderLink("T:\\r\\a-hermana", "T:\\r\\hermana", kAttributeReparsePoint,
                     kReparseTagUnixLink);
  fake.AddFolderLink("T:\\r\\afuera", "T:\\fuera", kAttributeReparsePoint, kReparseTagUnixLink);
  fake.AddFolderLink("T:\\r\\hermana\\arriba", "T:\\r", kAttributeReparsePoint,
                     kReparseTagUnixLink);
  walk.Run("T:\\r\\");
  EXPECT_EQ(TestedFiles(fake), (std::vector<std::string>{"T:\\r\\hermana\\a.txt"}));
  EXPECT_EQ(walk.counters.FilesScanned, 1);
  EXPECT_EQ(walk.counters.FilesDone, 1);
  EXPECT_EQ(OpenedFolders(fake), Twice({"T:\\r\\", "T:\\r\\hermana\\"}));
}

TEST(TreeWalk, FilesWhoseDataIsNotOnTheVolumeAreCountedNeverOpened) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\nube\\offline.txt", "a/", kAttributeOffline);
  fake.AddFile("T:\\nube\\on-open.txt", "a/", kAttributeRecallOnOpen);
  fake.AddFile("T:\\nube\\on-access.txt", "a/", kAttributeRecallOnDataAccess | kAttributeReadOnly);
  fake.AddFile("T:\\nube\\local.txt", "a/", kAttributeReadOnly | kAttributeHidden);
  // A cloud folder is entered: listing it reads names, not data.
  fake.AddFolder("T:\\nube\\carpeta", kAttributeRecallOnDataAccess | kAttributeReparsePoint,
                 0x9000601A);
  fake.AddFile("T:\\nube\\carpeta\\dentro.txt", "a/");
  walk.Run("T:\\nube\\");
  EXPECT_EQ(walk.counters.FilesScanned, 5);
  EXPECT_EQ(walk.counters.FilesDone, 5);
  EXPECT_EQ(walk.counters.FilesInfected, 2);
  EXPECT_EQ(TestedFiles(fake),
            (std::vector<std::string>{"T:\\nube\\local.txt", "T:\\nube\\carpeta\\dentro.txt"}));
  // Each still moves the bars as a file that cannot be opened does.
  EXPECT_EQ(fake.CallsStartingWith({"ShowNoActivate"}).size(), 5u);
}

// Each file is read by the length its own record lists, in every folder: a
// file listed longer than it is ends in zeros and is not flagged, one listed
// empty is read on and judged whole.
TEST(TreeWalk, EachFileIsTestedByTheLengthItsRecordLists) {
  Walk walk;
  auto& fake = walk.fake;
  fake.AddFile("T:\\l\\right.txt", "a/b");
  fake.AddFile("T:\\l\\long.txt", "c/d");
  fake.ListLengthAs("T:\\l\\long.txt", 6);
  fake.AddFile("T:\\l\\empty.txt", "e/f");
  fake.ListLengthAs("T:\\l\\empty.txt", 0);
  fake.AddFile("T:\\l\\sub\\deep.txt", "g/h");
  fake.ListLengthAs("T:\\l\\sub\\deep.txt", 5);
  walk.Run("T:\\l\\");
  EXPECT_EQ(walk.counters.FilesScanned, 4);
  EXPECT_EQ(walk.counters.FilesInfected, 2);
  EXPECT_EQ(fake.Content("C:\\Prog\\Malware.txt"), "T:\\l\\right.txt\r\nT:\\l\\empty.txt\r\n");
  EXPECT_EQ(fake.CallsStartingWith({"Read "}),
            (std::vector<std::string>{"Read 3", "Read 131072", "Read 6", "Read 65536",
                                      "Read 131072", "Read 5"}));
}

TEST(TreeWalk, NamesTheCodePageCannotHoldAreReachedByTheirOwnNames) {
  Walk walk;
  auto& fake = walk.fake;
  // Each look-alike beside the name a best fit would make of it.
  fake.AddFile("T:\\n\\Ab.txt", "x/1");
  fake.AddFile("T:\\n\\Āb.txt", "x/2");
  fake.AddFile("T:\\n\\full.txt", "\x01");
  fake.AddFile("T:\\n\\ｆull.txt", "x/3");
  fake.AddFile("T:\\n\\Ǻ.txt", "x/4");
  fake.AddFile("T:\\n\\a\\fuera.txt", "x/5");
  fake.AddFile("T:\\n\\ａ\\fuera.txt", "x/6");
  fake.AddFile("T:\\n\\Дата\\файл.txt", "x/7");
  fake.AddFile("T:\\n\\A\xC3\xB1o\\caf\xC3\xA9.txt", "x/8");  // ñ and é: in the code page
  walk.Run("T:\\n\\");
  const std::vector<std::string> tested = {
      "T:\\n\\Ab.txt",        "T:\\n\\Āb.txt",         "T:\\n\\full.txt",
      "T:\\n\\ｆull.txt",     "T:\\n\\Ǻ.txt",          "T:\\n\\a\\fuera.txt",
      "T:\\n\\ａ\\fuera.txt", "T:\\n\\Дата\\файл.txt", "T:\\n\\A\xC3\xB1o\\caf\xC3\xA9.txt"};
  EXPECT_EQ(TestedFiles(fake), tested);
  EXPECT_EQ(walk.counters.FilesScanned, 9);
  EXPECT_EQ(walk.counters.FilesInfected, 8);
  // Each line is the ANSI form: '?' for every character the code page lacks.
  EXPECT_EQ(fake.Content("C:\\Prog\\Malware.txt"),
            "T:\\n\\Ab.txt\r\n"
            "T:\\n\\?b.txt\r\n"
            "T:\\n\\?ull.txt\r\n"
            "T:\\n\\?.txt\r\n"
            "T:\\n\\a\\fuera.txt\r\n"
            "T:\\n\\?\\fuera.txt\r\n"
            "T:\\n\\????\\????.txt\r\n"
            "T:\\n\\A\xF1o\\caf\xE9.txt\r\n");
}

TEST(TreeWalk, OnlyDotAndDotDotAreSkippedByName) {
  const std::pair<std::u16string, bool> cases[] = {{u".", false},   {u"..", false}, {u"...", true},
                                                   {u".git", true}, {u"..a", true}, {u"a", true},
                                                   {u". ", true}};
  for (const auto& [name, entered] : cases) {
    DirEntry entry;
    entry.attributes = kAttributeDirectory;
    entry.name = name;
    EXPECT_EQ(IsEnteredSubfolder(entry), entered) << escaner_test::Utf8(name);
  }
}

}  // namespace
}  // namespace escaner
