// The folder dialog as the session shows it: driven from a second thread
// while it runs modal on the test's own thread, as a user would answer it.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "scan/choose_folder.h"
#include "support/folder_selection.h"
#include "win32/temp_tree.h"
#include "win32/window_wait.h"

namespace {

using escaner::win32::Win32Platform;
using escaner_test::kFolderTitleId;
using escaner_test::kFolderTreeId;
using escaner_test::TempFolder;

class FolderDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }

  // Runs ChooseFolder on this thread while `answer` acts on the dialog from
  // another; `problems` collects what the other thread saw go wrong. If the
  // dialog is not found or stays open, every window of this thread is
  // cancelled so the test always ends.
  std::string Choose(const std::function<void(HWND)>& answer) {
    const DWORD testThread = GetCurrentThreadId();
    std::thread helper([&] {
      const HWND dialog = escaner_test::WaitForDialog(GetCurrentProcessId(), kFolderTreeId);
      if (dialog == nullptr || !escaner_test::WaitForFilledTree(dialog)) {
        problems_ += "the folder dialog did not show a filled tree; ";
      } else {
        title_ = escaner_test::AnsiTextOf(GetDlgItem(dialog, kFolderTitleId));
        hasOwner_ = GetWindow(dialog, GW_OWNER) != nullptr;
        answer(dialog);
        if (escaner_test::WaitUntilGone(dialog)) return;
        problems_ += "the dialog stayed open; ";
      }
      escaner_test::CancelThreadWindows(testThread);
    });
    std::string chosen = escaner::ChooseFolder(platform_);
    helper.join();
    return chosen;
  }

  // Selects `path` the way the end-to-end driver does it for a user, then
  // confirms it (or cancels, when the selection never shows the path).
  static void SelectAndConfirm(HWND dialog, const std::wstring& path) {
    escaner_test::AnswerWithFolder(GetCurrentProcess(), dialog, path,
                                   escaner_test::WindowDeadline());
  }

  Win32Platform platform_;
  std::string problems_;
  std::string title_;
  bool hasOwner_ = true;
};

TEST_F(FolderDialogTest, ConfirmedFolderComesBackWithOneTrailingBackslash) {
  TempFolder temp;
  escaner_test::MakeFolder(temp.Path() + L"Elegida");
  escaner_test::MakeFolder(temp.Path() + L"A\u00F1o \u00DCber");  // bytes F1 and DC
  struct Case {
    std::wstring select;
    std::string expected;
  };
  const Case cases[] = {
      {temp.Path() + L"Elegida", temp.AnsiPath() + "Elegida\\"},
      {temp.Path() + L"A\u00F1o \u00DCber", temp.AnsiPath() + "A\xF1o \xDC" "ber\\"},
      {L"C:\\", "C:\\"},  // a drive root keeps its single backslash
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(escaner_test::Narrow(c.select));
    problems_.clear();
    const std::string chosen = Choose([&](HWND dialog) { SelectAndConfirm(dialog, c.select); });
    EXPECT_EQ(problems_, "");
    EXPECT_EQ(chosen, c.expected);
  }
}

TEST_F(FolderDialogTest, ShowsTheTwoLineTitleWithoutAnOwner) {
  Choose([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(problems_, "");
  EXPECT_EQ(title_, "Elige Carpeta a ver ...\r\n\xAE Velmar Soft");
  EXPECT_FALSE(hasOwner_);
}

TEST_F(FolderDialogTest, CancelGivesNothing) {
  const std::string chosen =
      Choose([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(problems_, "");
  EXPECT_EQ(chosen, "");
}

// An item without a file-system path cannot be confirmed, and if it were,
// no path would come back.
TEST_F(FolderDialogTest, ItemWithoutAFileSystemPathGivesNothing) {
  bool okEnabled = true;
  const std::string chosen = Choose([&](HWND dialog) {
    PIDLIST_ABSOLUTE computer = nullptr;
    SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer);
    SendMessageW(dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
    escaner_test::WaitFor([&] { return !IsWindowEnabled(GetDlgItem(dialog, IDOK)); }, 3000);
    okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    escaner_test::WaitFor([&] { return !IsWindow(dialog); }, 3000);
    if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    CoTaskMemFree(computer);
  });
  EXPECT_FALSE(okEnabled);
  EXPECT_EQ(chosen, "");
}

}  // namespace
