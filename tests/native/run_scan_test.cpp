#include "app/run_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "fake/fake_platform.h"

namespace escaner {
namespace {

using escaner_test::FakePlatform;

constexpr const char* kReport = "C:\\Prog\\Malware.txt";
const std::string kApology =
    "ShowMessage [Programador] Sintiendolo mucho ...\\r\\nEl escaneo ha terminado ...";

struct Session {
  FakePlatform fake;
  ScanCounters counters{5, 5, 0};  // stale values the session must clear

  Session() { fake.AddFile(kReport, "old\r\n", kAttributeReadOnly | kAttributeHidden); }
  std::int32_t Run() { return RunScan(fake, counters); }
  std::ptrdiff_t IndexOf(const std::string& prefix) const {
    const auto it = std::find_if(fake.calls.begin(), fake.calls.end(),
                                 [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    return it == fake.calls.end() ? -1 : it - fake.calls.begin();
  }
};

TEST(RunScan, NoUsableFolderGivesTheApologyAndNothingElse) {
  // The dialog's path gets its backslash before the check: "a" becomes "a\".
  const std::optional<std::u16string> cases[] = {std::nullopt, u"", u"a", u"  x", u" ", u"\t"};
  for (const auto& chosen : cases) {
    Session session;
    session.fake.browseResult = chosen;
    EXPECT_EQ(session.Run(), 0);
    EXPECT_FALSE(session.fake.Exists(kReport));  // the old report is gone all the same
    const std::vector<std::string> expected = {
        "ModuleFolder", "ClearAttributes C:\\Prog\\Malware.txt",
        "FindAndDelete C:\\Prog\\Malware.txt",
        "BrowseForFolder Elige Carpeta a ver ...\\r\\n\\xAE Velmar Soft", kApology};
    EXPECT_EQ(session.fake.calls, expected) << escaner_test::Utf8(chosen.value_or(u"<cancel>"));
    EXPECT_EQ(session.counters.FilesScanned, 0);
    EXPECT_EQ(session.counters.FilesInfected, 0);
  }
}

TEST(RunScan, TrimmingTheSpaceOnlyDecidesOnThreeCharacters) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"C:\\", false}, {u" C:\\ ", false}, {u"C:", true},   {u"   ", true},
      {u"", true},      {u"ab", true},      {u"abc", false}, {u"\t\t\\", false},
      {u" \t\\", true}, {u"\r\n\\", false}};
  for (const auto& [folder, unusable] : cases) {
    EXPECT_EQ(IsUnusableFolder(folder), unusable) << escaner_test::Utf8(folder);
  }
}

TEST(RunScan, FolderOfTabsIsScannedAsChosen) {
  Session session;
  session.fake.browseResult = u"\t\t";
  session.Run();
  EXPECT_EQ(session.fake.CallsStartingWith({"OpenFolder"}),
            (std::vector<std::string>{"OpenFolder \t\t\\", "OpenFolder \t\t\\"}));
}

TEST(RunScan, FinalMessageGivesBothCountsThenTheShellOpensTheReport) {
  Session session;
  auto& fake = session.fake;
  fake.browseResult = u"T:\\Datos";
  fake.AddFile("T:\\Datos\\flag1", "C:/x");
  fake.AddFile("T:\\Datos\\plain.txt", "hello world\r\n");
  fake.AddFile("T:\\Datos\\sub\\flag2", "a\\b");
  EXPECT_EQ(session.Run(), 0);

  EXPECT_EQ(session.counters.FilesScanned, 3);
  EXPECT_EQ(session.counters.FilesInfected, 2);
  EXPECT_EQ(fake.Content(kReport), "T:\\Datos\\flag1\r\nT:\\Datos\\sub\\flag2\r\n");
  // The report is closed before the strip, the box, then the shell.
  const std::vector<std::string> tail(fake.calls.end() - 4, fake.calls.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{
                "Close", "CloseProgressWindow",
                "ShowMessage [Programador] El escaneo ha terminado ...\\r\\nFicheros escaneados : 3"
                "\\r\\nFicheros infectados : 2",
                "ShellOpen open C:\\Prog\\Malware.txt"}));
  EXPECT_EQ(fake.CallsStartingWith({"ModuleFolder"}).size(), 1u);
  // The window opens after the folder is accepted and before the counting pass.
  EXPECT_LT(session.IndexOf("BrowseForFolder"), session.IndexOf("ShowProgressWindow"));
  EXPECT_LT(session.IndexOf("ShowProgressWindow"), session.IndexOf("OpenFolder"));
  EXPECT_EQ(fake.CallsStartingWith({"ShowProgressWindow"}).size(), 1u);
}

TEST(RunScan, EmptyTreeStillShowsZeroCountsAndAsksTheShell) {
  Session session;
  session.fake.browseResult = u"T:\\";
  session.fake.AddFolder("T:\\vacio");
  session.Run();
  EXPECT_EQ(session.fake.CallsStartingWith({"ShowMessage", "ShellOpen"}),
            (std::vector<std::string>{
                "ShowMessage [Programador] El escaneo ha terminado ...\\r\\nFicheros escaneados : 0"
                "\\r\\nFicheros infectados : 0",
                "ShellOpen open C:\\Prog\\Malware.txt"}));
  EXPECT_FALSE(session.fake.Exists(kReport));
}

TEST(RunScan, CountIsThatOfTheCountingPassWithNoExtraBlank) {
  Session session;
  auto& fake = session.fake;
  fake.browseResult = u"T:\\m\\";
  for (int i = 0; i < 1234; ++i) fake.AddFile("T:\\m\\f" + std::to_string(i), "\x01");
  // One file vanishes before the scanning pass reaches it.
  fake.beforeEachCall = [&](const std::string& call) {
    if (call == "OpenFolder T:\\m\\" && session.counters.FilesScanned == 1234)
      fake.Remove("T:\\m\\f1233");
  };
  session.Run();
  const auto box = fake.CallsStartingWith({"ShowMessage"});
  ASSERT_EQ(box.size(), 1u);
  EXPECT_NE(box[0].find("Ficheros escaneados : 1234\\r\\n"), std::string::npos) << box[0];
  EXPECT_EQ(session.counters.FilesDone, 1233);
}

TEST(RunScan, OldReportThatCannotBeRemovedReceivesTheNewLines) {
  Session session;
  auto& fake = session.fake;
  fake.browseResult = u"T:\\d";
  fake.AddFile("T:\\d\\x", "a/");
  // Deletion fails: a read-only report whose attributes cannot be cleared.
  fake.beforeEachCall = [&](const std::string& call) {
    if (call.rfind("FindAndDelete", 0) == 0) fake.AddFile(kReport, "old\r\n", kAttributeReadOnly);
  };
  session.Run();
  EXPECT_EQ(fake.Content(kReport), "old\r\nT:\\d\\x\r\n");
}

// Two files are flagged; whatever keeps lines out of the report, the box
// says so on a line of its own after the counts, and only a report that
// holds this session's lines is handed to the shell.
TEST(RunScan, ReportNotWholeAddsALineToTheBox) {
  const std::string counts =
      "ShowMessage [Programador] El escaneo ha terminado ...\\r\\nFicheros escaneados : 3"
      "\\r\\nFicheros infectados : 2";
  const std::string open = "ShellOpen open C:\\Prog\\Malware.txt";
  struct Case {
    const char* name;
    std::function<void(Session&)> arrange;
    std::string notice;  // after the counts and a line break; "" for none
    bool opened;
  };
  const Case cases[] = {
      {"nothing lost", [](Session&) {}, "", true},
      {"held elsewhere from the first line",
       [](Session& s) {
         s.fake.beforeEachCall = [&s](const std::string& call) {
           if (call == "BrowseForFolder Elige Carpeta a ver ...\\r\\n\\xAE Velmar Soft")
             s.fake.LockForAppend(kReport);
         };
       },
       "Sintiendolo mucho ... no se pudo escribir el informe C:\\Prog\\Malware.txt", false},
      {"writes failing after the first line",
       [](Session& s) {
         s.fake.beforeEachCall = [&s](const std::string& call) {
           if (call == "Write T:\\d\\b") s.fake.FailWrites(kReport);
         };
       },
       "Sintiendolo mucho ... faltan lineas en el informe C:\\Prog\\Malware.txt", true},
      {"a folder named Malware.txt",
       [](Session& s) {
         s.fake.Remove(kReport);
         s.fake.AddFolder(kReport);
       },
       "Sintiendolo mucho ... no se pudo escribir el informe C:\\Prog\\Malware.txt", false},
      {"the executable's folder outside the code page",
       [](Session& s) {
         s.fake.moduleFolder = u"C:\\Descargas \u0141\u0159\\";
         s.fake.AddFolder("C:\\Descargas \u0141\u0159");
         s.fake.LockForAppend("C:\\Descargas \u0141\u0159\\Malware.txt");
       },
       "Sintiendolo mucho ... no se pudo escribir el informe C:\\Descargas ??\\Malware.txt", false},
      {"the executable's path cannot be had", [](Session& s) { s.fake.moduleFolder.reset(); },
       "Sintiendolo mucho ... no se pudo saber donde dejar el informe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session session;
    session.fake.browseResult = u"T:\\d";
    session.fake.AddFile("T:\\d\\a", "a/");
    session.fake.AddFile("T:\\d\\b", "\\b");
    session.fake.AddFile("T:\\d\\c", "plain");
    c.arrange(session);
    session.Run();
    EXPECT_EQ(session.counters.FilesInfected, 2);
    std::vector<std::string> expected = {counts};
    if (!c.notice.empty()) expected[0] += "\\r\\n" + c.notice;
    if (c.opened) expected.push_back(open);
    EXPECT_EQ(session.fake.CallsStartingWith({"ShowMessage", "ShellOpen"}), expected);
    EXPECT_EQ(session.fake.openFileCount(), 0);
  }
}

// A report whose place cannot be had is never looked for elsewhere: the old
// report beside the executable is not the program's to delete when the
// program cannot tell that it is beside it.
TEST(RunScan, WithoutTheExecutablesPathNoFileIsClearedOrWritten) {
  const std::optional<std::u16string> chosen[] = {std::nullopt, u"T:\\d"};
  for (const auto& folder : chosen) {
    Session session;
    session.fake.moduleFolder.reset();
    session.fake.browseResult = folder;
    session.fake.AddFile("T:\\d\\a", "a/");
    session.Run();
    EXPECT_EQ(session.fake.CallsStartingWith(
                  {"ClearAttributes", "FindAndDelete", "OpenForAppend", "Write", "ShellOpen"}),
              std::vector<std::string>{});
    EXPECT_EQ(session.fake.Content(kReport), "old\r\n");
  }
}

}  // namespace
}  // namespace escaner
