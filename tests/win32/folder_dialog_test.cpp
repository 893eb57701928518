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
  std::u16string Choose(const std::function<void(HWND)>& answer) {
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
    std::u16string chosen = escaner::ChooseFolder(platform_);
    helper.join();
    return chosen;
  }

  // Selects `path` the way a program does it for a user, then confirms.
  static void SelectAndConfirm(HWND dialog, const std::wstring& path) {
    const HWND tree = GetDlgItem(dialog, kFolderTreeId);
    const auto selected = [&] { return SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0); };
    const LRESULT before = selected();
    for (int attempt = 0; attempt < 2; ++attempt) {  // the first one may not take
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
      if (escaner_test::WaitFor([&] { return selected() != before && selected() != 0; }, 3000))
        break;
    }
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }

  Win32Platform platform_;
  std::string problems_;
  std::string title_;
  bool hasOwner_ = true;
};

// The chosen folder comes back by its own UTF-16 name, whole, however long,
// with one trailing backslash.
TEST_F(FolderDialogTest, ConfirmedFolderComesBackWholeWithOneTrailingBackslash) {
  TempFolder temp;
  const std::wstring& root = temp.Path();
  escaner_test::MakeFolder(root + L"Elegida");
  escaner_test::MakeFolder(root + L"A\u00F1o \u00DCber");        // in the code page: F1, DC
  escaner_test::MakeFolder(root + L"\u0414\u0430\u0442\u0430");  // outside it
  escaner_test::MakeFolder(root + L"\uFF41");                    // fullwidth a, best fit "a"
  // 258 characters, whose first 255 name another folder that exists. (Past
  // MAX_PATH Wine's shell makes no item list for a path at all, so the
  // dialog cannot be shown one here.)
  std::wstring deep = root;
  while (deep.size() < 200) {
    deep += std::wstring(40, L'p') + L"\\";
    escaner_test::MakeFolder(deep);
  }
  deep += std::wstring(258 - deep.size(), L'q');
  escaner_test::MakeFolder(deep.substr(0, 255));
  escaner_test::MakeFolder(deep);
  struct Case {
    std::wstring select;
    std::wstring expected;
  };
  const Case cases[] = {
      {root + L"Elegida", root + L"Elegida\\"},
      {root + L"A\u00F1o \u00DCber", root + L"A\u00F1o \u00DCber\\"},
      {root + L"\u0414\u0430\u0442\u0430", root + L"\u0414\u0430\u0442\u0430\\"},
      {root + L"\uFF41", root + L"\uFF41\\"},
      {deep, deep + L"\\"},
      {L"C:\\", L"C:\\"},  // a drive root keeps its single backslash
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(escaner_test::Utf8(c.select));
    problems_.clear();
    const std::u16string chosen = Choose([&](HWND dialog) { SelectAndConfirm(dialog, c.select); });
    EXPECT_EQ(problems_, "");
    EXPECT_EQ(escaner_test::Utf8(chosen), escaner_test::Utf8(c.expected));
  }
}

TEST_F(FolderDialogTest, ShowsTheTwoLineTitleWithoutAnOwner) {
  Choose([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(problems_, "");
  EXPECT_EQ(title_, "Elige Carpeta a ver ...\r\n\xAE Velmar Soft");
  EXPECT_FALSE(hasOwner_);
}

TEST_F(FolderDialogTest, CancelGivesNothing) {
  const std::u16string chosen =
      Choose([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(problems_, "");
  EXPECT_EQ(chosen, u"");
}

// An item without a file-system path cannot be confirmed, and if it were,
// no path would come back.
TEST_F(FolderDialogTest, ItemWithoutAFileSystemPathGivesNothing) {
  bool okEnabled = true;
  const std::u16string chosen = Choose([&](HWND dialog) {
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
  EXPECT_EQ(chosen, u"");
}

}  // namespace
