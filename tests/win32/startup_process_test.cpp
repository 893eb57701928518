// Escaner.exe from its start: a copy of the built program in a fresh folder,
// started as a user would, answered from this test, its exit code and its
// report folder read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/started_program.h"
#include "win32/exe_path.h"
#include "win32/temp_tree.h"
#include "win32/window_wait.h"

namespace {

using escaner_test::kFolderTitleId;
using escaner_test::kFolderTreeId;
using escaner_test::kMessageTextId;
using escaner_test::StartedProgram;
using escaner_test::TempFolder;

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring built = escaner_test::EscanerExePath();
    ASSERT_FALSE(built.empty()) << "ESCANER_EXE is not set";
    ASSERT_TRUE(CopyFileW(built.c_str(), Exe().c_str(), FALSE)) << "error " << GetLastError();
  }
  std::wstring Exe() const { return temp_.Path() + ExeName(); }
  virtual std::wstring ExeName() const { return L"Escaner.exe"; }
  std::wstring Report() const { return temp_.Path() + L"Malware.txt"; }

  TempFolder temp_;
};

// Arguments of any form change nothing: the old report goes, the folder
// dialog asks, a cancel brings the apology, and the exit code is 0.
TEST_F(StartupTest, CancelledSessionWhateverTheCommandLine) {
  const std::wstring commandLines[] = {L"", L"/?", L"-h --scan C:\\ \"D:\\una carpeta\" /S",
                                       L"*.* > x"};
  for (const std::wstring& arguments : commandLines) {
    SCOPED_TRACE(escaner_test::Utf8(arguments));
    escaner_test::MakeFile(Report(), "C:\\old.txt\r\n",
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    StartedProgram program(Exe(), arguments);
    ASSERT_TRUE(program.Started());
    const HWND dialog = escaner_test::WaitForDialog(program.Pid(), kFolderTreeId);
    ASSERT_NE(dialog, nullptr) << "no folder dialog";
    EXPECT_FALSE(escaner_test::Exists(Report())) << "the old report is removed before the dialog";
    EXPECT_EQ(escaner_test::AnsiTextOf(GetDlgItem(dialog, kFolderTitleId)),
              "Elige Carpeta a ver ...\r\n\xAE Velmar Soft");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);

    const HWND box = escaner_test::WaitForDialog(program.Pid(), kMessageTextId);
    ASSERT_NE(box, nullptr) << "no apology";
    EXPECT_TRUE(escaner_test::TextOf(GetDlgItem(box, kMessageTextId)) ==
                L"Sintiendolo mucho ...\r\nEl escaneo ha terminado ...");
    EXPECT_TRUE(escaner_test::TextOf(box) == L"Programador");
    PostMessageW(box, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(program.WaitForExit(escaner_test::kWindowDeadlineMs), 0u);
    EXPECT_FALSE(escaner_test::Exists(Report()));
  }
}

// A platform that calls itself Windows 98 gets one box and exit code 255,
// before anything else happens.
class RefusedPlatformTest : public StartupTest {
 protected:
  std::wstring ExeName() const override { return L"EscanerW98.exe"; }
  void SetUp() override {
    StartupTest::SetUp();
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kAppDefaults, L"Version", REG_SZ, L"win98",
                              sizeof L"win98"),
              ERROR_SUCCESS);
  }
  void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kAppDefaults); }

  static constexpr const wchar_t* kAppDefaults = L"Software\\Wine\\AppDefaults\\EscanerW98.exe";
};

TEST_F(RefusedPlatformTest, OnlyTheRefusalBoxThenExit255) {
  escaner_test::MakeFile(Report(), "C:\\old.txt\r\n");
  StartedProgram program(Exe(), L"");
  ASSERT_TRUE(program.Started());

  const HWND box = escaner_test::WaitForDialog(program.Pid(), kMessageTextId);
  ASSERT_NE(box, nullptr) << "no refusal box";
  EXPECT_TRUE(escaner_test::TextOf(GetDlgItem(box, kMessageTextId)) == L"Win98 No Support");
  EXPECT_EQ(escaner_test::FindDialog(program.Pid(), kFolderTreeId), nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);

  EXPECT_EQ(program.WaitForExit(escaner_test::kWindowDeadlineMs), 255u);
  EXPECT_EQ(escaner_test::ReadWholeFile(Report()), "C:\\old.txt\r\n") << "the report was touched";
}

}  // namespace
