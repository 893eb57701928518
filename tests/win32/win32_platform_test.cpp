// The seam's message box and the shell's open request, read back from the
// windows they really make.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"
#include "win32/window_wait.h"

namespace {

using escaner::win32::Win32Platform;
using escaner_test::kMessageTextId;

struct SeenBox {
  bool found = false;
  std::wstring text;
  std::wstring title;
  bool hasOwner = true;
  bool hasCancel = true;
  bool hasOk = false;
};

// Shows the box on this thread; another thread reads it and presses OK. If
// the box is not found, every window of this thread is closed so the test
// ends all the same.
SeenBox ShowAndRead(Win32Platform& platform, std::string_view text, std::string_view title) {
  SeenBox seen;
  const DWORD testThread = GetCurrentThreadId();
  std::thread helper([&] {
    const HWND box = escaner_test::WaitForDialog(GetCurrentProcessId(), kMessageTextId);
    if (box == nullptr) {
      escaner_test::CancelThreadWindows(testThread);
      return;
    }
    seen.found = true;
    seen.text = escaner_test::TextOf(GetDlgItem(box, kMessageTextId));
    seen.title = escaner_test::TextOf(box);
    seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
    seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
    seen.hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  platform.ShowMessage(text, title);
  helper.join();
  return seen;
}

TEST(ShowMessage, ShowsTheAnsiTextsInAnOwnerlessBoxWithOneOkButton) {
  struct Case {
    std::string text;
    std::string title;
    std::wstring expectedText;
    std::wstring expectedTitle;
  };
  const Case cases[] = {
      {"El escaneo ha terminado ...\r\nFicheros escaneados : 1234\r\nFicheros infectados : 0",
       "Programador",
       L"El escaneo ha terminado ...\r\nFicheros escaneados : 1234\r\nFicheros infectados : 0",
       L"Programador"},
      // Windows-1252 bytes become their characters.
      {"\xAE Velmar \xD1\xF1\xE9\x80", "T\xEDtulo", L"\u00AE Velmar \u00D1\u00F1\u00E9\u20AC",
       L"T\u00EDtulo"},
  };
  Win32Platform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const SeenBox seen = ShowAndRead(platform, c.text, c.title);
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.text == c.expectedText) << escaner_test::Utf8(seen.text);
    EXPECT_TRUE(seen.title == c.expectedTitle) << escaner_test::Utf8(seen.title);
    EXPECT_FALSE(seen.hasOwner);
    EXPECT_TRUE(seen.hasOk);
    EXPECT_FALSE(seen.hasCancel);
  }
}

// The shell gets the file's own UTF-16 path: the report opens in its viewer
// wherever it lies, in a folder the code page cannot name as well.
TEST(ShellOpen, OpensTheReportInItsViewer) {
  struct Case {
    const char* name;
    std::wstring folder;  // below the temp folder; "" for the temp folder itself
    std::wstring file;
  };
  const Case cases[] = {
      {"a code-page name", L"", L"Inform\u00E9.txt"},
      {"a folder outside the code page", L"Descargas \u0141\u0159\u015F\u0130\\", L"Malware.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    escaner_test::TempFolder temp;
    if (!c.folder.empty()) escaner_test::MakeFolder(temp.Path() + c.folder);
    const std::wstring file = temp.Path() + c.folder + c.file;
    escaner_test::MakeFile(file, "C:\\x.txt\r\n");
    Win32Platform platform;
    platform.ShellOpen("open", std::u16string(file.begin(), file.end()));

    // The viewer's caption names the file once it has loaded it.
    HWND viewer = nullptr;
    escaner_test::WaitFor([&] {
      viewer = FindWindowW(nullptr, (c.file + L" - Notepad").c_str());
      return viewer != nullptr;
    });
    ASSERT_NE(viewer, nullptr) << "no viewer showed the report";
    DWORD pid = 0;
    GetWindowThreadProcessId(viewer, &pid);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    if (process != nullptr) {
      WaitForSingleObject(process, escaner_test::kWindowDeadlineMs);
      CloseHandle(process);
    }
  }
}

// A missing report: the request fails and nothing asks the user anything.
TEST(ShellOpen, MissingFileFailsSilently) {
  escaner_test::TempFolder temp;
  const std::wstring file = temp.Path() + L"Malware.txt";
  Win32Platform platform;
  platform.ShellOpen("open", std::u16string(file.begin(), file.end()));
  EXPECT_EQ(escaner_test::FindDialog(GetCurrentProcessId(), kMessageTextId), nullptr);
}

}  // namespace
