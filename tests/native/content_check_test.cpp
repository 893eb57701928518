#include "scan/content_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "fake/fake_platform.h"
#include "scan/keyboard_set.h"

namespace escaner {
namespace {

using escaner_test::FakePlatform;
using escaner_test::FromUtf8;

constexpr const char* kPath = "T:\\f";

// What FileBar went through, one entry per (position, colour, repaint)
// triple, as "orange 100". Anything that is not such a triple is reported.
std::vector<std::string> FileBarStory(const FakePlatform& fake) {
  const std::vector<std::string> ops =
      fake.CallsStartingWith({"SetBar", "RepaintNow", "ShowNoActivate"});
  std::vector<std::string> story;
  std::size_t i = 0;
  // Every test starts with the whole-window repaint and the show.
  if (ops.size() < 2 || ops[0] != "RepaintNow Window" || ops[1] != "ShowNoActivate") {
    ADD_FAILURE() << "the test did not start with the window repaint and show";
    return story;
  }
  for (i = 2; i < ops.size(); i += 3) {
    if (i + 2 >= ops.size() || ops[i].rfind("SetBarPosition File ", 0) != 0 ||
        ops[i + 1].rfind("SetBarColor File ", 0) != 0 || ops[i + 2] != "RepaintNow FileBar") {
      ADD_FAILURE() << "not a FileBar triple at operation " << i << ": " << ops[i];
      break;
    }
    story.push_back(ops[i + 1].substr(17) + " " + ops[i].substr(20));
  }
  return story;
}

struct Outcome {
  std::int32_t result;
  std::vector<std::string> story;
};

Outcome RunTestFile(FakePlatform& fake, const std::string& path,
                    ScanCounters counters = {3, 1, 0}) {
  ScanProgress progress(fake, counters);
  ContentCheck test(fake, progress);
  const std::int32_t result = test.TestFile(FromUtf8(path), 0, fake.ListedLength(path));
  return {result, FileBarStory(fake)};
}

struct BytesCase {
  std::string name;
  std::string bytes;
  std::int32_t result;
  std::vector<std::string> story;
  bool storyChecked = true;
};

TEST(TestFile, DecidesAndDrivesFileBarByteForByteForSmallFiles) {
  const BytesCase cases[] = {
      {"letter and slash", "a/", 1, {"orange 100", "orange 0"}},
      {"single backslash", "\\", 0, {}},
      {"empty", "", 0, {}},
      {"one-line path with CR LF",
       "C:\\Windows\r\n",
       0,
       {"orange 100", "orange 91", "orange 82", "orange 73", "orange 64", "orange 55", "orange 46",
        "orange 37", "orange 28", "orange 19", "orange 10", "red 33"}},
      {"executable header", "MZ\x90", 0, {"orange 100", "orange 50", "orange 0", "red 33"}},
      {"first byte outside", std::string("\x00/ab", 4), 0, {"orange 100", "red 33"}},
      {"no separator",
       "hello",
       0,
       {"orange 100", "orange 75", "orange 50", "orange 25", "orange 0"}},
      {"less-than sign", "a<b/", 0, {"orange 100", "orange 67", "red 33"}},
      {"greater-than sign", "a>b/", 1, {"orange 100", "orange 67", "orange 34", "orange 0"}},
      {"U with diaeresis both cases", "\xDC\xFC/", 1, {"orange 100", "orange 50", "orange 0"}},
      {"a with diaeresis", "\xE4/", 0, {"orange 100", "red 33"}},
      {"e with grave accent", "/\xE8", 0, {"orange 100", "orange 0", "red 33"}},
      {"Spanish letters",
       "C:\\A\xF1o\\Espa\xF1"
       "a.txt",
       1,
       {},
       false},
      {"tab inside", "a\t/", 0, {"orange 100", "orange 50", "red 33"}},
      {"DEL", "a/\x7F", 0, {"orange 100", "orange 50", "orange 0", "red 33"}},
  };
  for (const BytesCase& c : cases) {
    FakePlatform fake;
    fake.AddFile(kPath, c.bytes);
    const Outcome outcome = RunTestFile(fake, kPath);
    EXPECT_EQ(outcome.result, c.result) << c.name;
    if (c.storyChecked) {
      EXPECT_EQ(outcome.story, c.story) << c.name;
    }
  }
}

TEST(TestFile, RedUpdateShowsShareFlaggedAndZeroWhenNothingWasCounted) {
  const std::pair<ScanCounters, std::string> cases[] = {
      {{3, 1, 0}, "red 33"}, {{4, 3, 0}, "red 75"}, {{0, 0, 1}, "red 0"}, {{0, 2, 2}, "red 0"}};
  for (const auto& [counters, red] : cases) {
    FakePlatform fake;
    fake.AddFile(kPath, "\x01\x02");
    EXPECT_EQ(RunTestFile(fake, kPath, counters).story.back(), red);
  }
}

TEST(TestFile, FailuresGiveZeroAndTouchNothingButTheWindow) {
  FakePlatform fake;
  fake.AddFile("T:\\locked", "a/b");
  fake.FailOpen("T:\\locked");
  fake.AddFile("T:\\a?b", "a/b");  // no listed name holds a wildcard
  for (const std::string path : {"T:\\locked", "T:\\missing", "T:\\a?b", "T:\\a*", ""}) {
    fake.calls.clear();
    const ScanCounters counters{1, 0, 1};
    ScanProgress progress(fake, counters);
    ContentCheck test(fake, progress);
    EXPECT_EQ(test.TestFile(FromUtf8(path), 0, fake.ListedLength(path)), 0) << path;
    std::vector<std::string> expected = {"RepaintNow Window", "ShowNoActivate"};
    if (IsOpenablePath(FromUtf8(path))) expected.push_back("OpenForReading " + path);
    EXPECT_EQ(fake.calls, expected) << path;
  }
  EXPECT_EQ(fake.Content("T:\\a?b"), "a/b");
  EXPECT_FALSE(fake.Exists("T:\\missing"));  // never created
  EXPECT_EQ(fake.openFileCount(), 0);
}

TEST(TestFile, FileWhoseDataIsNotOnTheVolumeIsNeverOpened) {
  const std::pair<std::uint32_t, bool> cases[] = {
      {0, true},
      {kAttributeReadOnly | kAttributeHidden | kAttributeSystem, true},
      {kAttributeReparsePoint, true},
      {kAttributeOffline, false},
      {kAttributeRecallOnOpen, false},
      {kAttributeRecallOnDataAccess, false},
      {kAttributeRecallOnDataAccess | kAttributeReparsePoint | kAttributeReadOnly, false},
  };
  for (const auto& [attributes, opened] : cases) {
    FakePlatform fake;
    fake.AddFile(kPath, "a/b");
    const ScanCounters counters{1, 0, 1};
    ScanProgress progress(fake, counters);
    ContentCheck test(fake, progress);
    const std::int32_t result = test.TestFile(FromUtf8(kPath), attributes, 3);
    EXPECT_EQ(result, opened ? 1 : 0) << attributes;
    if (!opened) {
      EXPECT_EQ(fake.calls, (std::vector<std::string>{"RepaintNow Window", "ShowNoActivate"}))
          << attributes;
    }
  }
}

TEST(TestFile, LongPathIsOpenedWholeNotCut) {
  FakePlatform fake;
  const std::string folder = "T:\\" + std::string(240, 'd') + "\\";
  const std::string path = folder + std::string(40, 'n');
  fake.AddFile(path, "a/b");
  fake.AddFile(path.substr(0, 255), "\x01\x02");  // what a cut path would name
  EXPECT_EQ(RunTestFile(fake, path).result, 1);
  EXPECT_EQ(fake.CallsStartingWith({"OpenForReading "}),
            (std::vector<std::string>{"OpenForReading " + path}));
}

TEST(TestFile, ShortOrFailedReadCountsMissingBytesAsZeros) {
  struct ReadCase {
    std::uint64_t limit;
    std::vector<std::string> story;
  };
  const ReadCase cases[] = {
      {3, {"orange 100", "orange 84", "orange 67", "orange 50", "red 33"}},
      {0, {"orange 100", "red 33"}},
      {6,
       {"orange 100", "orange 84", "orange 67", "orange 50", "orange 34", "orange 17", "orange 0",
        "red 33"}},
  };
  for (const ReadCase& c : cases) {
    FakePlatform fake;
    fake.AddFile(kPath, "abc/def");
    fake.LimitReads(kPath, c.limit);
    const Outcome outcome = RunTestFile(fake, kPath);
    EXPECT_EQ(outcome.result, 0) << c.limit;
    EXPECT_EQ(outcome.story, c.story) << c.limit;
  }
}

// The listing's length guides the reads but never hides bytes: what arrives
// past it is judged too, and what it promised but never arrived is zeros.
TEST(TestFile, ListedLengthIsReadAndWhateverArrivesPastItIsJudgedToo) {
  const std::vector<std::string> sevenPassing = {
      "orange 100", "orange 84", "orange 67", "orange 50", "orange 34", "orange 17", "orange 0"};
  std::vector<std::string> sevenStoppedAtLast = sevenPassing;
  sevenStoppedAtLast.push_back("red 33");
  struct ListedCase {
    std::string name;
    std::string content;
    std::uint64_t listed;
    std::optional<std::uint64_t> readLimit;
    std::int32_t result;
    std::vector<std::string> story;
    std::vector<std::string> reads;
  };
  const ListedCase cases[] = {
      {"as listed", "abc/def", 7, {}, 1, sevenPassing, {"Read 7", "Read 131072"}},
      {"grown, separator only past the listed end",
       "abcd/ef",
       3,
       {},
       1,
       sevenPassing,
       {"Read 3", "Read 131072", "Read 262144"}},
      {"grown, an outsider past the listed end",
       "abc/de\n",
       3,
       {},
       0,
       sevenStoppedAtLast,
       {"Read 3", "Read 131072"}},
      {"shrunk: the missing bytes are zeros",
       "abc/def",
       10,
       {},
       0,
       {"orange 100", "orange 89", "orange 78", "orange 67", "orange 56", "orange 45", "orange 34",
        "orange 23", "red 33"},
       {"Read 10"}},
      {"listed empty, two bytes",
       "a/",
       0,
       {},
       1,
       {"orange 100", "orange 0"},
       {"Read 65536", "Read 131072"}},
      {"listed one byte, three",
       "a/b",
       1,
       {},
       1,
       {"orange 100", "orange 50", "orange 0"},
       {"Read 1", "Read 131072", "Read 262144"}},
      {"listed empty and empty", "", 0, {}, 0, {}, {"Read 65536"}},
      {"listed empty, every read fails", "a/b", 0, 0, 0, {}, {"Read 65536"}},
      {"grown, but no read brings more: as long as what arrived",
       "a/bcdef",
       3,
       3,
       1,
       {"orange 100", "orange 50", "orange 0"},
       {"Read 3", "Read 131072"}},
      {"listed longer than examined: opened, closed unread",
       "a/b",
       kMaxExaminedLength + 1,
       {},
       0,
       {},
       {}},
  };
  for (const ListedCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.AddFile(kPath, c.content);
    fake.ListLengthAs(kPath, c.listed);
    if (c.readLimit) fake.LimitReads(kPath, *c.readLimit);
    const Outcome outcome = RunTestFile(fake, kPath);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.story, c.story);
    EXPECT_EQ(fake.CallsStartingWith({"Read "}), c.reads);
    EXPECT_EQ(fake.CallsStartingWith({"OpenForReading ", "Close"}),
              (std::vector<std::string>{"OpenForReading T:\\f", "Close"}));
  }
}

// A file that grew, or was listed short, is judged up to the longest length
// examined, and past it is not flagged, as a file listed that long.
TEST(TestFile, ReadingOnPastTheListedLengthStopsAtTheLongestExamined) {
  const std::pair<std::uint64_t, std::int32_t> cases[] = {
      {kMaxExaminedLength, 1},
      {kMaxExaminedLength + 1, 0},
  };
  for (const auto& [length, result] : cases) {
    SCOPED_TRACE(length);
    FakePlatform fake;
    fake.recording = false;
    fake.AddRepeatingFile(kPath, "abc/", length);
    fake.ListLengthAs(kPath, 0);
    ScanCounters counters{3, 1, 0};
    ScanProgress progress(fake, counters);
    ContentCheck test(fake, progress);
    EXPECT_EQ(test.TestFile(FromUtf8(kPath), 0, fake.ListedLength(kPath)), result);
    EXPECT_EQ(fake.openFileCount(), 0);
  }
}

TEST(TestFile, OpensOnceAndClosesBeforeAnyBarOperation) {
  FakePlatform fake;
  fake.AddFile(kPath, "x/y");
  RunTestFile(fake, kPath);
  const auto& calls = fake.calls;
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "OpenForReading T:\\f"), 1);
  const auto close = std::find(calls.begin(), calls.end(), "Close");
  const auto firstBar = std::find_if(
      calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("SetBar", 0) == 0; });
  ASSERT_NE(close, calls.end());
  EXPECT_LT(close, firstBar);
  EXPECT_EQ(fake.openFileCount(), 0);
}

TEST(TestFile, LargeKeyboardFileSendsOnlyTheHundredAndOneChangingPositions) {
  FakePlatform fake;
  const std::uint64_t length = 10'000'000;
  fake.AddRepeatingFile(kPath, "abc/", length);
  const Outcome outcome = RunTestFile(fake, kPath);
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.story.size(), 101u);
  for (int k = 0; k <= 100; ++k)
    EXPECT_EQ(outcome.story[static_cast<std::size_t>(k)], "orange " + std::to_string(100 - k));
  // Read in bounded chunks growing from the first size, the whole file once,
  // then once more, finding nothing past its end.
  std::uint64_t requested = 0;
  std::vector<std::uint64_t> sizes;
  for (const std::string& read : fake.CallsStartingWith({"Read "}))
    sizes.push_back(std::stoull(read.substr(5)));
  ASSERT_GE(sizes.size(), 2u);
  EXPECT_EQ(sizes[0], ContentCheck::kFirstChunkSize);
  EXPECT_EQ(sizes[1], 2 * ContentCheck::kFirstChunkSize);
  for (std::uint64_t size : sizes) {
    EXPECT_LE(size, ContentCheck::kLargestChunkSize);
    requested += size;
  }
  EXPECT_EQ(requested - sizes.back(), length);
  EXPECT_LE(sizes.size(), length / ContentCheck::kLargestChunkSize + 5);
}

TEST(TestFile, BinaryFileCostsOneChunkAndOversizedFileIsNotRead) {
  struct SizeCase {
    std::uint64_t length;
    std::size_t reads;
    std::int32_t result;
    std::size_t storySize;
  };
  const SizeCase cases[] = {
      {kMaxExaminedLength, 1, 0, 2},      // 2 GiB of binary: walked to its first byte
      {kMaxExaminedLength + 1, 0, 0, 0},  // longer: not held at all
      {std::uint64_t{3} << 30, 0, 0, 0},
  };
  for (const SizeCase& c : cases) {
    FakePlatform fake;
    fake.AddRepeatingFile(kPath, std::string("\x7F/", 2), c.length);
    const Outcome outcome = RunTestFile(fake, kPath);
    EXPECT_EQ(fake.CallsStartingWith({"Read "}).size(), c.reads) << c.length;
    EXPECT_EQ(outcome.result, c.result) << c.length;
    EXPECT_EQ(outcome.story.size(), c.storySize) << c.length;
    EXPECT_EQ(fake.CallsStartingWith({"Close"}).size(), 1u) << c.length;
  }
}

TEST(TestFile, DecisionCarriesAcrossChunkBoundaries) {
  const std::size_t chunk =
      ContentCheck::kFirstChunkSize;  // the second read starts here, the third at 3 x
  struct ChunkCase {
    std::string name;
    std::string bytes;
    std::int32_t result;
  };
  std::string separatorInSecondChunk(chunk + 10, 'a');
  separatorInSecondChunk[chunk + 5] = '/';
  std::string outsiderAtBoundary(chunk + 10, '/');
  outsiderAtBoundary[chunk] = '\n';
  std::string outsiderLastOfFirst(chunk + 10, '/');
  outsiderLastOfFirst[chunk - 1] = '\n';
  std::string outsiderFirstOfThird(4 * chunk, '/');
  outsiderFirstOfThird[3 * chunk] = '<';
  const ChunkCase cases[] = {
      {"outsider first of the third chunk", outsiderFirstOfThird, 0},
      {"separator only in the second chunk", separatorInSecondChunk, 1},
      {"outsider first of the second chunk", outsiderAtBoundary, 0},
      {"outsider last of the first chunk", outsiderLastOfFirst, 0},
      {"exactly one chunk", std::string(chunk, '\\'), 1},
  };
  for (const ChunkCase& c : cases) {
    FakePlatform fake;
    fake.AddFile(kPath, c.bytes);
    EXPECT_EQ(RunTestFile(fake, kPath).result, c.result) << c.name;
    // Listed empty: every byte arrives past the listed end, in the same
    // chunks.
    FakePlatform listedEmpty;
    listedEmpty.AddFile(kPath, c.bytes);
    listedEmpty.ListLengthAs(kPath, 0);
    EXPECT_EQ(RunTestFile(listedEmpty, kPath).result, c.result) << c.name << ", listed empty";
  }
}

// The test as first described: the whole file in memory, the accumulated
// text re-counted against KeyboardCharsA at every byte, three bar operations
// per byte; then the verdict from KeyboardCharsB and the separators.
Outcome ReferenceModel(const std::string& bytes, const ScanCounters& counters) {
  Outcome outcome{0, {}};
  if (bytes.size() < 2) return outcome;
  const std::int64_t last = static_cast<std::int64_t>(bytes.size()) - 1;
  std::string accumulated;
  for (std::int64_t i = 0; i <= last; ++i) {
    outcome.story.push_back("orange " + std::to_string(100 - (100 * i) / last));
    accumulated += bytes[static_cast<std::size_t>(i)];
    const auto inSet = std::count_if(accumulated.begin(), accumulated.end(), [](char c) {
      return KeyboardCharsA.find(c) != std::string_view::npos;
    });
    if (static_cast<std::size_t>(inSet) != accumulated.size()) {
      outcome.story.push_back(
          "red " + std::to_string(counters.FilesScanned == 0
                                      ? 0
                                      : (100 * counters.FilesInfected) / counters.FilesScanned));
      break;
    }
  }
  const bool allInB = std::all_of(accumulated.begin(), accumulated.end(), [](char c) {
    return KeyboardCharsB.find(c) != std::string_view::npos;
  });
  if (allInB && accumulated.find_first_of("\\/") != std::string::npos) outcome.result = 1;
  // Repeated positions are not sent again.
  std::vector<std::string> changes;
  for (const std::string& step : outcome.story) {
    if (changes.empty() || step.rfind("red", 0) == 0 || step != changes.back())
      changes.push_back(step);
  }
  outcome.story = changes;
  return outcome;
}

TEST(TestFile, AgreesWithTheReferenceModelOnRandomFiles) {
  std::mt19937 random(20261210);
  const std::string common = "abcXYZ019 .:-_\\/";
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = random() % 8 == 0 ? random() % 1500 : random() % 120;
    std::string bytes(length, '\0');
    for (char& b : bytes) {
      const auto pick = random() % 100;
      b = pick < 97 ? common[random() % common.size()] : static_cast<char>(random() % 256);
    }
    const ScanCounters counters{static_cast<std::int32_t>(random() % 5),
                                static_cast<std::int32_t>(random() % 3), 0};
    FakePlatform fake;
    fake.AddFile(kPath, bytes);
    const Outcome actual = RunTestFile(fake, kPath, counters);
    const Outcome expected = ReferenceModel(bytes, counters);
    ASSERT_EQ(actual.result, expected.result) << escaner_test::Escaped(bytes);
    ASSERT_EQ(actual.story, expected.story) << escaner_test::Escaped(bytes);
  }
}

// Whatever length the listing gives, the file is judged as the bytes its
// reads deliver, with zeros for what a long listing promised and never
// came. The bar runs over the listed length while the walk stops within it,
// and over what arrived once it goes past it.
TEST(TestFile, AgreesWithTheReferenceModelWhateverLengthIsListed) {
  std::mt19937 random(20261211);
  const std::string common = "abcXYZ019 .:-_\\/";
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = random() % 300;
    std::string bytes(length, '\0');
    for (char& b : bytes) {
      const auto pick = random() % 100;
      b = pick < 98 ? common[random() % common.size()] : static_cast<char>(random() % 256);
    }
    const std::uint64_t listed = random() % (length + 8);
    const ScanCounters counters{static_cast<std::int32_t>(random() % 5),
                                static_cast<std::int32_t>(random() % 3), 0};
    FakePlatform fake;
    fake.AddFile(kPath, bytes);
    fake.ListLengthAs(kPath, listed);
    const Outcome actual = RunTestFile(fake, kPath, counters);
    std::string judged = bytes;
    if (listed > judged.size()) {
      judged.resize(listed, '\0');
    } else if (!std::all_of(
                   bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(listed),
                   [](char b) { return KeyboardCharsA.find(b) != std::string_view::npos; })) {
      judged.resize(listed);
    }
    const Outcome expected = ReferenceModel(judged, counters);
    ASSERT_EQ(actual.result, expected.result)
        << escaner_test::Escaped(bytes) << " listed " << listed;
    ASSERT_EQ(actual.story, expected.story) << escaner_test::Escaped(bytes) << " listed " << listed;
  }
}

}  // namespace
}  // namespace escaner
