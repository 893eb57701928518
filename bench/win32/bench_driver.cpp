// Times one whole scan of Escaner.exe from another process, under the same
// Wine prefix, for the whole-scan benchmark.
//
//   bench_driver --exe PATH --choose FOLDER [--timeout SECONDS] [--poll-ms MS]
//
// Starts the exe, chooses FOLDER in its folder dialog, and measures from the
// moment the dialog's OK is posted to the moment the final message box is
// visible. While the box is up (the scan is over, the process still alive) it
// reads the exe's peak working set with GetProcessMemoryInfo; then it reads
// the box's text, dismisses it, waits for the exe to end and closes what the
// shell's open request started. Prints one JSON line.
//
// The windows are found by polling every few milliseconds with calls that send
// the scanning thread nothing: the strip's thread runs no message loop, and a
// busy poll would compete with the exe for the one wineserver, so the poll is
// kept light. The phases (OK to strip shown, strip shown to strip gone, strip
// gone to box) come from the same poll.
//
// Selecting the folder follows the end-to-end driver (tests/e2e/driver.cpp):
// BFFM_SETSELECTIONA with the path written into the exe's memory, then the
// selected tree item read back through a TVITEMW in that memory.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/remote_window.h"

namespace {

using escaner_remote::ClassOf;
using escaner_remote::Lower;
using escaner_remote::RemoteBlock;
using escaner_remote::SendWithDeadline;
using escaner_remote::TreeItemText;

constexpr int kTreeId = 0x3741;
constexpr int kBoxTextId = 0xFFFF;
// Often enough to time a scan to a few milliseconds, rarely enough that the
// poll itself (a handful of wineserver requests) does not slow the exe down:
// polling every 5 ms made a 1.4 s scan about 7% slower.
DWORD pollMs = 20;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class Deadline {
 public:
  explicit Deadline(double seconds) : end_(NowMs() + seconds * 1000.0) {}
  bool Passed() const { return NowMs() >= end_; }

 private:
  double end_;
};

std::string Narrow(const std::wstring& wide, UINT codePage) {
  const int length = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.c_str(), -1, text.data(), length, nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
}

std::string JsonText(const std::wstring& text) {
  std::string out = "\"";
  for (const char c : Narrow(text, CP_UTF8)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// ---------------------------------------------------------------- windows of one thread

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD thread) {
  std::vector<HWND> windows, visible;
  EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows)
    if (IsWindowVisible(window) && ClassOf(window) == L"#32770") visible.push_back(window);
  return visible;
}

bool IsFolderDialog(HWND window) {
  HWND tree = GetDlgItem(window, kTreeId);
  return tree != nullptr && ClassOf(tree) == L"SysTreeView32";
}

bool IsMessageBox(HWND window) { return GetDlgItem(window, kBoxTextId) != nullptr; }

bool IsStrip(HWND window) {
  HWND child = GetWindow(window, GW_CHILD);
  return child != nullptr && ClassOf(child) == L"msctls_progress32";
}

// ---------------------------------------------------------------- remote memory

std::wstring SelectedItemText(HANDLE process, HWND tree) {
  const auto item = reinterpret_cast<HTREEITEM>(SendWithDeadline(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, 2000));
  return item == nullptr ? L"" : TreeItemText(process, tree, item);
}

bool SelectionShows(const std::wstring& item, std::wstring folder) {
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  if (folder.size() <= 3) return Lower(item).find(Lower(folder.substr(0, 2))) != std::wstring::npos;
  return Lower(item) == Lower(folder.substr(folder.find_last_of(L'\\') + 1));
}

// ---------------------------------------------------------------- processes

std::set<DWORD> DescendantsOf(DWORD root) {
  std::map<DWORD, DWORD> parentOf;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    parentOf[entry.th32ProcessID] = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  std::set<DWORD> found{root};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, parent] : parentOf)
      if (found.count(parent) && !found.count(pid)) grew = found.insert(pid).second;
  }
  found.erase(root);
  return found;
}

BOOL CALLBACK CloseWindowsOfProcess(HWND window, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(pid)) PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// What the shell's open request started: asked to close, then ended.
int CloseStartedPrograms(DWORD root, const std::set<DWORD>& seenBefore) {
  std::set<DWORD> started = seenBefore;
  for (DWORD pid : DescendantsOf(root)) started.insert(pid);
  for (DWORD pid : started) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (process == nullptr) continue;
    // The program may not have made its window yet: ask again until it goes.
    const Deadline closing(10);
    while (WaitForSingleObject(process, 100) == WAIT_TIMEOUT && !closing.Passed())
      EnumWindows(CloseWindowsOfProcess, static_cast<LPARAM>(pid));
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
  return static_cast<int>(started.size());
}

// ---------------------------------------------------------------- the run

struct Options {
  std::wstring exe;
  std::wstring folder;
  double timeout = 600;
};

int Fail(const char* why, HANDLE process, DWORD pid) {
  std::printf("{\"ok\":false,\"error\":\"%s\"}\n", why);
  std::fflush(stdout);
  if (process != nullptr) {
    const std::set<DWORD> started = DescendantsOf(pid);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseStartedPrograms(pid, started);
  }
  return 2;
}

HWND WaitForWindow(DWORD thread, bool (*matches)(HWND), const Deadline& deadline, HANDLE process) {
  while (!deadline.Passed()) {
    for (HWND window : VisibleWindowsOf(thread))
      if (matches(window)) return window;
    if (WaitForSingleObject(process, pollMs) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

bool ChooseFolder(HANDLE process, HWND dialog, const std::wstring& folder) {
  HWND tree = GetDlgItem(dialog, kTreeId);
  // The dialog shows itself before it fills its tree.
  const Deadline filled(20);
  while (!filled.Passed() && SendWithDeadline(tree, TVM_GETCOUNT, 0, 0, 1000) == 0) Sleep(20);
  const std::string narrow = Narrow(folder, CP_ACP);
  RemoteBlock path(process, narrow.size() + 1);
  if (!path.Ok()) return false;
  path.Write(0, narrow.c_str(), narrow.size() + 1);
  for (int attempt = 0; attempt < 3; ++attempt) {
    SendWithDeadline(dialog, BFFM_SETSELECTIONA, TRUE, path.At(0), 5000);
    if (SelectionShows(SelectedItemText(process, tree), folder)) return true;
    Sleep(300);
  }
  return false;
}

int Run(const Options& options) {
  const Deadline deadline(options.timeout);
  std::wstring commandLine = L"\"" + options.exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(options.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return Fail("start", nullptr, 0);
  CloseHandle(info.hThread);
  HANDLE process = info.hProcess;

  HWND dialog = WaitForWindow(info.dwThreadId, IsFolderDialog, deadline, process);
  if (dialog == nullptr) return Fail("no folder dialog", process, info.dwProcessId);
  if (!ChooseFolder(process, dialog, options.folder)) return Fail("folder not selected", process, info.dwProcessId);

  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  const double okAt = NowMs();
  double stripShownAt = 0, stripGoneAt = 0, boxAt = 0;
  HWND box = nullptr;
  int polls = 0;
  while (box == nullptr) {
    if (deadline.Passed()) return Fail("timeout", process, info.dwProcessId);
    bool stripVisible = false;
    for (HWND window : VisibleWindowsOf(info.dwThreadId)) {
      if (window == dialog) continue;
      if (IsStrip(window)) stripVisible = true;
      else if (IsMessageBox(window)) box = window;
    }
    const double now = NowMs();
    if (stripVisible && stripShownAt == 0) stripShownAt = now;
    if (!stripVisible && stripShownAt != 0 && stripGoneAt == 0) stripGoneAt = now;
    if (box != nullptr) boxAt = now;
    ++polls;
    if (box == nullptr && WaitForSingleObject(process, pollMs) == WAIT_OBJECT_0)
      return Fail("exited before the final box", nullptr, 0);
  }

  // The scan is over and the process still alive: its peak is final.
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  const BOOL memoryRead = GetProcessMemoryInfo(process, &memory, sizeof memory);
  // CPU time so far (user and kernel), to tell work from waiting.
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  const double cpuMs = ms(kernel) + ms(user);

  wchar_t text[1024] = {};
  SendWithDeadline(GetDlgItem(box, kBoxTextId), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), 2000);
  const Deadline dismissing(10);
  while (IsWindow(box) && !dismissing.Passed()) {
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
  }
  std::set<DWORD> started;
  while (WaitForSingleObject(process, 20) == WAIT_TIMEOUT) {
    for (DWORD pid : DescendantsOf(info.dwProcessId)) started.insert(pid);
    if (deadline.Passed()) return Fail("no exit after the box", process, info.dwProcessId);
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process, &exitCode);
  CloseHandle(process);
  const int closed = CloseStartedPrograms(info.dwProcessId, started);

  auto phase = [](double from, double to) { return from != 0 && to != 0 ? to - from : -1.0; };
  std::printf(
      "{\"ok\":true,\"scan_ms\":%.1f,\"ok_to_strip_ms\":%.1f,\"strip_ms\":%.1f,\"strip_gone_to_box_ms\":%.1f,"
      "\"polls\":%d,\"cpu_ms\":%.1f,\"peak_working_set\":%lu,\"memory_read\":%s,\"exit_code\":%lu,\"programs_closed\":%d,"
      "\"box_text\":%s}\n",
      boxAt - okAt, phase(okAt, stripShownAt), phase(stripShownAt, stripGoneAt), phase(stripGoneAt, boxAt), polls, cpuMs,
      static_cast<unsigned long>(memory.PeakWorkingSetSize), memoryRead ? "true" : "false", exitCode, closed,
      JsonText(text).c_str());
  std::fflush(stdout);
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: bench_driver --exe PATH --choose FOLDER [--timeout SECONDS] [--poll-ms MS]\n");
  return 1;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return Usage();
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring key = argv[i], value = argv[i + 1];
    if (key == L"--exe") options.exe = value;
    else if (key == L"--choose") options.folder = value;
    else if (key == L"--timeout") options.timeout = _wtof(value.c_str());
    else if (key == L"--poll-ms") pollMs = static_cast<DWORD>(_wtoi(value.c_str()));
    else return Usage();
  }
  LocalFree(argv);
  if (options.exe.empty() || options.folder.empty()) return Usage();
  return Run(options);
}
