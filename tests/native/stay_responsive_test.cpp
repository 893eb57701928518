// The scan's long stretches pass through the platform's StayResponsive: the
// walk at each folder it opens and each entry it lists, in both passes; the
// content test at each chunk it reads; the report at each line it appends.
// With the strip's answer pacer on a clock that the seam calls move, the
// thread answers at the pacer's rate however long a stretch runs without a
// bar operation, and the counting pass still moves no bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake/fake_platform.h"
#include "scan/passes.h"
#include "scan/report.h"
#include "ui/answer_pacer.h"

namespace escaner {
namespace {

using escaner_test::FakePlatform;
using escaner_test::FromUtf8;

constexpr const char* kPoint = "StayResponsive";

bool IsStripOperation(const std::string& call) {
  for (const char* prefix : {"ShowProgressWindow", "ResetProgressBar", "SetBar", "RepaintNow",
                             "ShowNoActivate", "CloseProgressWindow"}) {
    if (call.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Folders `width` to a level, `depth` levels below `top`, holding nothing else.
void AddFoldersOnly(FakePlatform& fake, const std::string& top, int width, int depth) {
  fake.AddFolder(top);
  if (depth == 0) return;
  for (int i = 0; i < width; ++i)
    AddFoldersOnly(fake, top + "\\d" + std::to_string(i), width, depth - 1);
}

struct PassCalls {
  std::vector<std::string> counting;
  std::vector<std::string> scanning;
};

// Both passes over `folder`, each pass's seam calls apart, the points among them.
PassCalls BothPasses(FakePlatform& fake, const std::string& folder) {
  fake.recordStayResponsive = true;
  ScanCounters counters;
  CountFiles(fake, FromUtf8(folder), counters);
  PassCalls calls;
  calls.counting.swap(fake.calls);
  ScanProgress progress(fake, counters);
  ContentCheck contentCheck(fake, progress);
  Report report(fake);
  ScanFolder(fake, FromUtf8(folder), counters, progress, contentCheck, report);
  calls.scanning.swap(fake.calls);
  return calls;
}

std::size_t Points(const std::vector<std::string>& calls) {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), kPoint));
}

// Each call starting with `prefix` comes right after a point.
void ExpectEachRightAfterAPoint(const std::vector<std::string>& calls, const std::string& prefix) {
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].rfind(prefix, 0) != 0) continue;
    EXPECT_TRUE(i > 0 && calls[i - 1] == kPoint) << calls[i] << " at call " << i;
  }
}

// A folder other than a drive root lists "." and ".." besides its children,
// and the walk lists each folder twice: one point when a folder is opened and
// 2 x (children + 2) for its listings. A file read is one point a chunk
// (64 KiB, 128 KiB, then 256 KiB each), and one more for the read that finds
// nothing past a file whose every byte passed; a flagged file one more for
// its line.
TEST(StayResponsive, IsPassedAtEachFolderEntryChunkAndReportLine) {
  struct Case {
    const char* name;
    void (*build)(FakePlatform&);
    std::size_t countingPoints;
    std::size_t scanningPoints;
  };
  const Case cases[] = {
      {"folders holding only folders",
       // 13 folders opened; the top and its three list 3 + 2 entries, the
       // nine below them 2
       [](FakePlatform& fake) { AddFoldersOnly(fake, "T:\\top", 3, 2); }, 13 + 2 * (4 * 5 + 9 * 2),
       13 + 2 * (4 * 5 + 9 * 2)},
      {"one long listing of one-byte files",
       [](FakePlatform& fake) {
         for (int i = 0; i < 1000; ++i) fake.AddFile("T:\\top\\f" + std::to_string(i), "x");
       },
       1 + 2 * 1002, 1 + 2 * 1002 + 2 * 1000},
      {"subfolders that cannot be opened",
       [](FakePlatform& fake) {
         for (int i = 0; i < 50; ++i) {
           fake.AddFolder("T:\\top\\locked" + std::to_string(i));
           fake.FailOpen("T:\\top\\locked" + std::to_string(i));
         }
       },
       1 + 2 * 52 + 50, 1 + 2 * 52 + 50},
      {"a large keyboard-only file read in 34 chunks",
       [](FakePlatform& fake) { fake.AddRepeatingFile("T:\\top\\big.txt", "abc/", 8 << 20); },
       1 + 2 * 3, 1 + 2 * 3 + 34 + 1 + 1},
      {"five flagged files",
       [](FakePlatform& fake) {
         for (int i = 0; i < 5; ++i) fake.AddFile("T:\\top\\p" + std::to_string(i), "a/1");
       },
       1 + 2 * 7, 1 + 2 * 7 + 2 * 5 + 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.AddFolder("C:\\Prog");  // the report's folder
    c.build(fake);
    const PassCalls calls = BothPasses(fake, "T:\\top\\");
    EXPECT_EQ(Points(calls.counting), c.countingPoints);
    EXPECT_EQ(Points(calls.scanning), c.scanningPoints);
    EXPECT_EQ(std::count_if(calls.counting.begin(), calls.counting.end(), IsStripOperation), 0)
        << "the counting pass moves no bar";
    for (const std::vector<std::string>* pass : {&calls.counting, &calls.scanning}) {
      ExpectEachRightAfterAPoint(*pass, "OpenFolder ");
      ExpectEachRightAfterAPoint(*pass, "Read ");
    }
    // The line's point comes before anything of the line is written (the
    // first line opens the report in between).
    for (std::size_t i = 0; i < calls.scanning.size(); ++i) {
      if (calls.scanning[i].rfind("AnsiBytes", 0) != 0) continue;
      std::size_t before = i - 1;
      if (calls.scanning[before].rfind("OpenForAppend ", 0) == 0) --before;
      EXPECT_EQ(calls.scanning[before], kPoint) << "line at call " << i;
    }
  }
}

class ManualClock final : public ui::Clock {
 public:
  std::uint64_t Milliseconds() const override { return now; }
  std::uint64_t now = 0;
};

// Seam calls cost time on the test's clock, the strip's own operations none
// (they are paced by the strip, which answers at its frames); at each point
// the strip's answer pacer decides. The moments of the answers are kept, with
// the start and the end of the scan.
struct TimedScan {
  FakePlatform fake;
  ManualClock clock;
  ui::AnswerPacer answers{clock, ui::kAnswerMilliseconds};
  std::vector<std::uint64_t> moments;
  std::size_t countingAnswers = 0;
  std::size_t countingStripOperations = 0;
  bool counting = true;

  TimedScan(std::uint64_t readCost, std::uint64_t appendCost) {
    fake.AddFolder("C:\\Prog");
    fake.recording = false;
    fake.recordStayResponsive = true;
    fake.beforeEachCall = [this, readCost, appendCost](const std::string& call) {
      if (call == kPoint) {
        if (!answers.Due()) return;
        answers.Answered();
        moments.push_back(clock.now);
        if (counting) ++countingAnswers;
      } else if (IsStripOperation(call)) {
        if (counting) ++countingStripOperations;
      } else {
        clock.now += call.rfind("Read ", 0) == 0    ? readCost
                     : call.rfind("Write ", 0) == 0 ? appendCost
                                                    : 1;
      }
    };
  }

  void Run(const std::string& folder) {
    moments.push_back(clock.now);
    ScanCounters counters;
    CountFiles(fake, FromUtf8(folder), counters);
    counting = false;
    ScanProgress progress(fake, counters);
    ContentCheck contentCheck(fake, progress);
    Report report(fake);
    ScanFolder(fake, FromUtf8(folder), counters, progress, contentCheck, report);
    moments.push_back(clock.now);
  }

  std::uint64_t LongestSilence() const {
    std::uint64_t longest = 0;
    for (std::size_t i = 1; i < moments.size(); ++i)
      longest = std::max(longest, moments[i] - moments[i - 1]);
    return longest;
  }
  // Between two answers, not counting the scan's start and end.
  std::uint64_t ShortestGap() const {
    std::uint64_t shortest = UINT64_MAX;
    for (std::size_t i = 2; i + 1 < moments.size(); ++i)
      shortest = std::min(shortest, moments[i] - moments[i - 1]);
    return shortest;
  }
};

// The longest silence is the interval plus the longest run of calls between
// two points: the slowest call and the few quick ones around it.
TEST(StayResponsive, AnswersAtThePacersRateThroughBothPassesWithoutABarInTheCount) {
  struct Case {
    const char* name;
    void (*build)(FakePlatform&);
    std::uint64_t readCost, appendCost;
    std::size_t leastCountingAnswers;
  };
  const Case cases[] = {
      {"421 folders holding only folders, three files at the very end",
       [](FakePlatform& fake) {
         AddFoldersOnly(fake, "T:\\top", 20, 2);
         for (int i = 0; i < 3; ++i)
           fake.AddFile("T:\\top\\d19\\d19\\p" + std::to_string(i), "a/1");
       },
       1, 1, 100},
      {"a 64 MiB keyboard-only file read slowly",
       [](FakePlatform& fake) { fake.AddRepeatingFile("T:\\top\\big.txt", "abc/", 64 << 20); }, 20,
       1, 1},
      {"300 flagged files on a slow report",
       [](FakePlatform& fake) {
         for (int i = 0; i < 300; ++i) fake.AddFile("T:\\top\\p" + std::to_string(i), "a/1");
       },
       1, 25, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TimedScan scan(c.readCost, c.appendCost);
    c.build(scan.fake);
    scan.Run("T:\\top\\");
    // A report line is two writes (the path, then its line end).
    EXPECT_LE(scan.LongestSilence(),
              ui::kAnswerMilliseconds + std::max(c.readCost, 2 * c.appendCost) + 5);
    EXPECT_GE(scan.ShortestGap(), ui::kAnswerMilliseconds) << "never more often than the pacer";
    EXPECT_GE(scan.countingAnswers, c.leastCountingAnswers);
    EXPECT_EQ(scan.countingStripOperations, 0u);
  }
}

}  // namespace
}  // namespace escaner
