// Start-up and shutdown of Escaner.exe: refuse anything but the NT family,
// prepare COM and the common controls, run the one scan session, release,
// and end the process with the session's result.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/run_scan.h"
#include "platform/win32/win32_platform.h"

namespace {

// Later DLL loads (those the shell and COM make on demand) come from System32
// only, never from the current or the executable's folder. The call is missing
// on systems without the loader update, hence the look-up.
void RestrictDllSearchToSystem32() {
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesCall>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories != nullptr) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A failed query leaves the platform id 0, which is refused as well.
bool IsNtFamily() {
  OSVERSIONINFOA version = {};
  static_assert(sizeof version == 148);
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&version);
#pragma GCC diagnostic pop
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// What a WinMain would be handed. The session takes none of it: the program
// has no command-line interface, and its windows find the instance themselves.
struct StartupValues {
  HINSTANCE instance;
  LPWSTR commandLine;
  int showCommand;
};

StartupValues GatherStartupValues() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  StartupValues values;
  values.showCommand =
      (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  values.commandLine = GetCommandLineW();
  values.instance = GetModuleHandleW(nullptr);
  return values;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearchToSystem32();

  if (!IsNtFamily()) {
    MessageBoxA(nullptr, "Win98 No Support", nullptr, MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(255);
  }

  // A long scan runs no message loop; without this the system would swap the
  // progress strip for a "not responding" ghost window.
  DisableProcessWindowsGhosting();

  [[maybe_unused]] const StartupValues startupValues = GatherStartupValues();

  CoInitialize(nullptr);  // the folder dialog needs COM on this thread
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;  // 8
  // The classes the tool has always registered, the progress bar's among them.
  constexpr DWORD kRegisteredClasses = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES |
                                       ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                       ICC_HOTKEY_CLASS | ICC_PAGESCROLLER_CLASS |
                                       ICC_NATIVEFNTCTL_CLASS | ICC_STANDARD_CLASSES;
  static_assert(kRegisteredClasses == 0x706F);
  controls.dwICC = kRegisteredClasses;
  InitCommonControlsEx(&controls);

  std::int32_t exitCode = 0;
  {
    escaner::win32::Win32Platform platform;
    escaner::ScanCounters counters;
    exitCode = escaner::RunScan(platform, counters);
  }

  CoUninitialize();
  ExitProcess(static_cast<UINT>(exitCode));
}
