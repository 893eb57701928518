#include "scan/report.h"

#include <gtest/gtest.h>

#include <functional>

#include "fake/fake_platform.h"

namespace escaner {
namespace {

using escaner_test::FakePlatform;
using escaner_test::FromUtf8;

constexpr const char* kReport = "C:\\Prog\\Malware.txt";

TEST(Report, LivesBesideTheExecutable) {
  FakePlatform fake;
  fake.moduleFolder = u"D:\\Herramientas\\Escaner\\";
  EXPECT_EQ(ReportPath(fake), u"D:\\Herramientas\\Escaner\\Malware.txt");
  fake.moduleFolder.reset();
  EXPECT_EQ(ReportPath(fake), std::nullopt);
}

TEST(Report, OneLinePerFlaggedPathWithCrLfInTheCodePage) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  Report report(fake);
  report.LogInfected(u"C:\\Data\\x\\b.txt");
  report.LogInfected(u"T:\\A\u00F1o\\\u00E9t\u00E9 \u20AC.txt");  // ñ é €: held by the code page
  report.LogInfected(u"T:\\\u0100b\\\uFF46.txt");  // Ā ｆ: not held, never a look-alike
  report.LogInfected(u"");
  report.CloseReport();
  EXPECT_EQ(fake.Content(kReport),
            "C:\\Data\\x\\b.txt\r\nT:\\A\xF1o\\\xE9t\xE9 \x80.txt\r\nT:\\?b\\?.txt\r\n\r\n");
  EXPECT_EQ(fake.openFileCount(), 0);
  EXPECT_EQ(report.Outcome(), ReportOutcome::Complete);
}

// The report is opened once, at the first flagged line, and held until the
// scanning pass ends; the place is asked for once.
TEST(Report, OpenedAtTheFirstLineAndHeldToTheEnd) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  Report report(fake);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"ModuleFolder"}));
  report.LogInfected(u"T:\\a");
  report.LogInfected(u"T:\\b");
  EXPECT_EQ(fake.openFileCount(), 1);
  report.CloseReport();
  report.CloseReport();  // once is enough
  EXPECT_EQ(fake.CallsStartingWith({"ModuleFolder", "OpenForAppend", "Write", "Close", "Pause"}),
            (std::vector<std::string>{"ModuleFolder", "OpenForAppend C:\\Prog\\Malware.txt",
                                      "Write T:\\a", "Write \\r\\n", "Write T:\\b", "Write \\r\\n",
                                      "Close"}));
}

TEST(Report, NothingFlaggedOpensNothing) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  {
    Report report(fake);
    report.CloseReport();
    EXPECT_EQ(report.Outcome(), ReportOutcome::Complete);
  }
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"ModuleFolder"}));
  EXPECT_FALSE(fake.Exists(kReport));
}

// How each way of losing lines shows in the outcome and on disk. Three files
// are flagged; `before` runs before the first, `between` after it.
TEST(Report, LostLinesAreCountedWhateverLosesThem) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> before;
    std::function<void(FakePlatform&)> between;
    std::string content;  // "-": no report file at all
    ReportOutcome outcome;
  };
  const auto lock = [](FakePlatform& f) { f.LockForAppend(kReport); };
  const auto unlock = [](FakePlatform& f) { f.UnlockForAppend(kReport); };
  const auto failWrites = [](FakePlatform& f) { f.FailWrites(kReport); };
  const auto nothing = [](FakePlatform&) {};
  const Case cases[] = {
      {"all written", nothing, nothing, "T:\\1\r\nT:\\2\r\nT:\\3\r\n", ReportOutcome::Complete},
      // Held open from the first line on: a program that takes hold later
      // cannot keep the rest out.
      {"held elsewhere after the first line", nothing, lock, "T:\\1\r\nT:\\2\r\nT:\\3\r\n",
       ReportOutcome::Complete},
      {"held elsewhere the whole scan", lock, nothing, "-", ReportOutcome::NotWritten},
      {"held elsewhere, let go after the first line", lock, unlock, "T:\\2\r\nT:\\3\r\n",
       ReportOutcome::Incomplete},
      {"every write fails", failWrites, nothing, "", ReportOutcome::NotWritten},
      {"writes fail after the first line", nothing, failWrites, "T:\\1\r\n",
       ReportOutcome::Incomplete},
      {"a folder named Malware.txt", [](FakePlatform& f) { f.AddFolder(kReport); }, nothing, "",
       ReportOutcome::NotWritten},
      {"the executable's folder is gone", [](FakePlatform& f) { f.Remove("C:\\Prog"); }, nothing,
       "-", ReportOutcome::NotWritten},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.AddFolder("C:\\Prog");
    c.before(fake);
    Report report(fake);
    report.LogInfected(u"T:\\1");
    c.between(fake);
    report.LogInfected(u"T:\\2");
    report.LogInfected(u"T:\\3");
    report.CloseReport();
    EXPECT_EQ(report.Outcome(), c.outcome);
    EXPECT_EQ(fake.Exists(kReport), c.content != "-");
    if (c.content != "-") {
      EXPECT_EQ(fake.Content(kReport), c.content);
    }
    EXPECT_EQ(fake.openFileCount(), 0);
  }
}

// A hold by another program is waited out at the first open, about a
// second at most; later lines try once each, without waiting.
TEST(Report, FirstOpenWaitsBrieflyForAReportHeldElsewhere) {
  struct Case {
    const char* name;
    int pausesHeld;  // the hold ends after this many pauses; -1: never
    std::vector<std::string> opens;
    ReportOutcome outcome;
  };
  const std::string open = "OpenForAppend C:\\Prog\\Malware.txt";
  const std::string pause = "Pause 100";
  std::vector<std::string> neverLetGo;
  for (int i = 0; i < 10; ++i) neverLetGo.insert(neverLetGo.end(), {open, pause});
  neverLetGo.insert(neverLetGo.end(), {open, open});  // the last try, then the second line's
  const Case cases[] = {
      {"free at once", 0, {open}, ReportOutcome::Complete},
      {"let go during the wait",
       3,
       {open, pause, open, pause, open, pause, open},
       ReportOutcome::Complete},
      {"never let go", -1, neverLetGo, ReportOutcome::NotWritten},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.AddFolder("C:\\Prog");
    if (c.pausesHeld != 0) fake.LockForAppend(kReport);
    int pauses = 0;
    fake.beforeEachCall = [&](const std::string& call) {
      if (call.rfind("Pause", 0) == 0 && ++pauses == c.pausesHeld) fake.UnlockForAppend(kReport);
    };
    Report report(fake);
    report.LogInfected(u"T:\\1");
    report.LogInfected(u"T:\\2");
    report.CloseReport();
    EXPECT_EQ(fake.CallsStartingWith({"OpenForAppend", "Pause"}), c.opens);
    EXPECT_EQ(report.Outcome(), c.outcome);
  }
}

// Without the executable's folder nothing is removed, opened or written:
// a cut or relative path would name another folder's Malware.txt.
TEST(Report, WithoutAPlaceTouchesNoFile) {
  FakePlatform fake;
  fake.moduleFolder.reset();
  fake.AddFile("C:\\Malware.txt", "someone else's\r\n");
  Report report(fake);
  report.ClearReport();
  report.LogInfected(u"T:\\a");
  report.CloseReport();
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"ModuleFolder"}));
  EXPECT_EQ(report.Outcome(), ReportOutcome::NoPlace);
  EXPECT_EQ(report.Path(), std::nullopt);
  EXPECT_EQ(fake.Content("C:\\Malware.txt"), "someone else's\r\n");
}

TEST(Report, FolderNamedLikeTheReportIsClearedButNeverDeleted) {
  FakePlatform fake;
  fake.AddFolder(kReport, kAttributeHidden);
  Report report(fake);
  report.ClearReport();
  EXPECT_TRUE(fake.Exists(kReport));
  EXPECT_EQ(fake.Attributes(kReport), kAttributeDirectory);
  report.LogInfected(u"T:\\a");
  EXPECT_EQ(fake.CallsStartingWith({"Write", "Pause"}).size(), 0u);
}

TEST(Report, ClearRemovesAnOldReportWhateverItsAttributes) {
  const std::uint32_t attributeCases[] = {0, kAttributeReadOnly, kAttributeHidden, kAttributeSystem,
                                          kAttributeReadOnly | kAttributeHidden | kAttributeSystem};
  for (std::uint32_t attributes : attributeCases) {
    FakePlatform fake;
    fake.AddFile(kReport, "old\r\n", attributes);
    Report(fake).ClearReport();
    EXPECT_FALSE(fake.Exists(kReport)) << attributes;
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"ModuleFolder", "ClearAttributes C:\\Prog\\Malware.txt",
                                        "FindAndDelete C:\\Prog\\Malware.txt"}));
  }
  FakePlatform missing;
  missing.AddFolder("C:\\Prog");
  Report(missing).ClearReport();  // nothing to remove: silent
  EXPECT_FALSE(missing.Exists(kReport));
}

}  // namespace
}  // namespace escaner
