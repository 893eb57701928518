#include "scan/report.h"

#include <gtest/gtest.h>

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
}

TEST(Report, OneLinePerFlaggedPathWithCrLfInTheCodePage) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  LogInfected(fake, u"C:\\Data\\x\\b.txt");
  LogInfected(fake, u"T:\\A\u00F1o\\\u00E9t\u00E9 \u20AC.txt");  // ñ é €: held by the code page
  LogInfected(fake, u"T:\\\u0100b\\\uFF46.txt");  // Ā ｆ: not held, never a look-alike
  LogInfected(fake, u"");
  EXPECT_EQ(fake.Content(kReport),
            "C:\\Data\\x\\b.txt\r\nT:\\A\xF1o\\\xE9t\xE9 \x80.txt\r\nT:\\?b\\?.txt\r\n\r\n");
  EXPECT_EQ(fake.openFileCount(), 0);  // closed after every line
}

TEST(Report, AppendsOpenWriteWriteClose) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  LogInfected(fake, u"T:\\a");
  EXPECT_EQ(fake.CallsStartingWith({"OpenForAppend", "Write", "Close"}),
            (std::vector<std::string>{"OpenForAppend C:\\Prog\\Malware.txt", "Write T:\\a",
                                      "Write \\r\\n", "Close"}));
}

TEST(Report, FailedAppendLosesOnlyItsOwnLine) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  LogInfected(fake, u"T:\\first");
  fake.calls.clear();
  fake.LockForAppend(kReport);
  LogInfected(fake, u"T:\\lost");
  EXPECT_EQ(fake.calls,
            (std::vector<std::string>{"ModuleFolder", "OpenForAppend C:\\Prog\\Malware.txt"}));
  fake.UnlockForAppend(kReport);
  LogInfected(fake, u"T:\\after");
  EXPECT_EQ(fake.Content(kReport), "T:\\first\r\nT:\\after\r\n");
}

TEST(Report, FailedWriteStillEndsTheLineAndCloses) {
  FakePlatform fake;
  fake.AddFolder("C:\\Prog");
  fake.FailWrites(kReport);
  LogInfected(fake, u"T:\\a");
  EXPECT_EQ(fake.CallsStartingWith({"Write", "Close"}),
            (std::vector<std::string>{"Write T:\\a", "Write \\r\\n", "Close"}));
  EXPECT_EQ(fake.openFileCount(), 0);
}

TEST(Report, FolderNamedLikeTheReportMakesEveryAppendFail) {
  FakePlatform fake;
  fake.AddFolder(kReport, kAttributeHidden);
  ClearReport(fake);
  EXPECT_TRUE(fake.Exists(kReport));
  EXPECT_EQ(fake.Attributes(kReport), kAttributeDirectory);
  LogInfected(fake, u"T:\\a");
  EXPECT_EQ(fake.CallsStartingWith({"Write"}).size(), 0u);
}

TEST(Report, ClearRemovesAnOldReportWhateverItsAttributes) {
  const std::uint32_t attributeCases[] = {0, kAttributeReadOnly, kAttributeHidden, kAttributeSystem,
                                          kAttributeReadOnly | kAttributeHidden | kAttributeSystem};
  for (std::uint32_t attributes : attributeCases) {
    FakePlatform fake;
    fake.AddFile(kReport, "old\r\n", attributes);
    ClearReport(fake);
    EXPECT_FALSE(fake.Exists(kReport)) << attributes;
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"ModuleFolder", "ClearAttributes C:\\Prog\\Malware.txt",
                                        "FindAndDelete C:\\Prog\\Malware.txt"}));
  }
  FakePlatform missing;
  missing.AddFolder("C:\\Prog");
  ClearReport(missing);  // nothing to remove: silent
  EXPECT_FALSE(missing.Exists(kReport));
}

}  // namespace
}  // namespace escaner
