// Plays the user's part against Escaner.exe from another process, under the
// same Wine prefix, and reports what it saw as JSON lines on stdout.
//
//   driver run --exe PATH [--cwd DIR] [--args TEXT] (--choose FOLDER | --cancel)
//              [--timeout SECONDS] [--open-wait SECONDS] [--hang-flag FILE]
//   driver attrib PATH [+r] [+h] [+s]
//   driver list FOLDER
//
// `run` starts the exe, answers its folder dialog, samples the progress strip
// while the scan runs, reads and dismisses every message box, records what
// the shell's open request started and closes it, and reports the exit code.
// The strip's thread runs no message loop during the scan, so the strip is
// only ever read with calls that send it nothing (GetWindowRect,
// GetWindowLong, EnumChildWindows). Every wait has a deadline: when the exe
// does not finish in time the driver reports "hung", waits (bounded) for the
// caller to take a screenshot and create the hang flag file, then kills the
// exe and what it started.
//
// `attrib` sets DOS attributes the way a Windows user would, and `list`
// prints the raw listing of a folder and of every folder below it, as the
// exe lists them: by UTF-16 names, through the \\?\ form of each path
// (FindFirstFileExW), entering no folder that is already being listed above
// itself (same volume serial and file index), so the caller can work out the
// walk order from what the platform really lists.
//
// Texts read from windows and listed names are UTF-16, printed as JSON \u
// escapes, so the caller compares exact characters.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// ---------------------------------------------------------------- output

std::string JsonWide(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

const ULONGLONG kStartTick = GetTickCount64();

// One event per line, written at once: the caller reads them live. Each
// carries "t", milliseconds since the driver started.
void Emit(const std::string& json) {
  std::string line = "{\"t\":" + std::to_string(GetTickCount64() - kStartTick) + "," +
                     json.substr(1) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
            &written, nullptr);
}

std::string JsonRect(const RECT& r) {
  return Format("[%ld,%ld,%ld,%ld]", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// ---------------------------------------------------------------- time

class Deadline {
 public:
  explicit Deadline(double seconds)
      : end_(GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0)) {}
  bool Passed() const { return GetTickCount64() >= end_; }
  DWORD RemainingMs() const {
    ULONGLONG now = GetTickCount64();
    return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
  }
  // The earlier of this deadline and `seconds` from now.
  Deadline Within(double seconds) const {
    Deadline other(seconds);
    return other.end_ < end_ ? other : *this;
  }

 private:
  ULONGLONG end_;
};

constexpr DWORD kPollMs = 5;

// ---------------------------------------------------------------- windows

// The window text as the system stores it; sends nothing to the window.
std::wstring StoredText(HWND window) {
  wchar_t text[2048] = {};
  InternalGetWindowText(window, text, 2048);
  return text;
}

// WM_GETTEXT with a deadline, for windows whose thread runs a message loop.
std::wstring SentText(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 2000, &ignored))
    return StoredText(window);
  return text;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

struct TopLevelSearch {
  std::set<DWORD> pids;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopLevelSearch*>(param);
  if (search->pids.count(ProcessOf(window))) search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(const std::set<DWORD>& pids) {
  TopLevelSearch search{pids, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

enum class Kind { FolderDialog, Strip, MessageBox, Notepad, Other };

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::FolderDialog: return "folder_dialog";
    case Kind::Strip: return "strip";
    case Kind::MessageBox: return "message_box";
    case Kind::Notepad: return "notepad";
    case Kind::Other: return "other";
  }
  return "other";
}

constexpr int kTreeId = 0x3741;
constexpr int kTitleTextId = 0x3742;
constexpr int kBoxTextId = 0xFFFF;

Kind Classify(HWND window) {
  std::wstring cls = ClassOf(window);
  if (cls == L"Notepad") return Kind::Notepad;
  if (cls != L"#32770") return Kind::Other;
  HWND tree = GetDlgItem(window, kTreeId);
  if (tree && ClassOf(tree) == L"SysTreeView32") return Kind::FolderDialog;
  for (HWND child : ChildrenOf(window))
    if (ClassOf(child) == L"msctls_progress32") return Kind::Strip;
  if (GetDlgItem(window, kBoxTextId)) return Kind::MessageBox;
  return Kind::Other;
}

// ---------------------------------------------------------------- processes

// Every process started, directly or not, by `root`, with its image name,
// from one snapshot.
std::map<DWORD, std::wstring> DescendantsOf(DWORD root) {
  std::map<DWORD, std::pair<DWORD, std::wstring>> processes;  // pid -> parent, image
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    processes[entry.th32ProcessID] = {entry.th32ParentProcessID, entry.szExeFile};
  CloseHandle(snapshot);
  std::map<DWORD, std::wstring> found;
  std::set<DWORD> family{root};
  for (bool grew = true; grew;) {
    grew = false;
    for (auto& [pid, process] : processes)
      if (family.count(process.first) && family.insert(pid).second) {
        found[pid] = process.second;
        grew = true;
      }
  }
  return found;
}

void Kill(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}

// ---------------------------------------------------------------- remote memory

std::vector<std::wstring> SelectionChain(HANDLE process, HWND tree) {
  std::vector<std::wstring> chain;
  auto item = reinterpret_cast<HTREEITEM>(
      SendWithDeadline(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, 2000));
  while (item && chain.size() < 64) {
    chain.push_back(TreeItemText(process, tree, item));
    item = reinterpret_cast<HTREEITEM>(
        SendWithDeadline(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item), 2000));
  }
  return chain;
}

std::string JsonWideList(const std::vector<std::wstring>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ",";
    out += JsonWide(items[i]);
  }
  return out + "]";
}

// Whether the tree's selection is `folder` (a path such as T:\ or T:\a\b):
// item names are localised and drive items are decorated, so compare the
// innermost name with the last path element and look for the drive letter
// among the ancestors.
bool SelectionMatches(const std::vector<std::wstring>& chain, const std::wstring& folder) {
  if (chain.empty() || folder.size() < 2) return false;
  std::wstring path = folder;
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  std::wstring drive = Lower(path.substr(0, 2));
  bool driveSeen = false;
  for (const auto& text : chain)
    if (Lower(text).find(drive) != std::wstring::npos) driveSeen = true;
  if (!driveSeen) return false;
  if (path.size() <= 3) return Lower(chain.front()).find(drive) != std::wstring::npos;
  std::wstring last = path.substr(path.find_last_of(L'\\') + 1);
  return Lower(chain.front()) == Lower(last);
}

// ---------------------------------------------------------------- the run

struct RunOptions {
  std::wstring exe;
  std::wstring cwd;
  std::wstring args;
  std::wstring choose;  // empty: cancel
  double timeout = 60;
  double openWait = 10;
  std::wstring hangFlag;
};

class Run {
 public:
  explicit Run(const RunOptions& options) : options_(options), deadline_(options.timeout) {}

  int Execute() {
    if (!Start()) return 3;
    bool finished = WatchUntilExit();
    if (!finished) return Hung();
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    WatchOpenedProgram();
    Emit(Format("{\"event\":\"exit\",\"code\":%lu}", code));
    CloseHandle(process_);
    return 0;
  }

 private:
  bool Start() {
    std::wstring commandLine = L"\"" + options_.exe + L"\"";
    if (!options_.args.empty()) commandLine += L" " + options_.args;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(options_.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, options_.cwd.empty() ? nullptr : options_.cwd.c_str(), &startup,
                        &info)) {
      Emit(Format("{\"event\":\"start_failed\",\"error\":%lu}", GetLastError()));
      return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    Emit("{\"event\":\"started\",\"command_line\":" + JsonWide(commandLine) +
         ",\"desktop\":" + JsonRect(desktop) + Format(",\"acp\":%u}", GetACP()));
    return true;
  }

  // Handles each window of the exe as it appears, until the exe ends.
  bool WatchUntilExit() {
    ULONGLONG nextSnapshot = 0;
    for (;;) {
      for (HWND window : TopLevelWindowsOf({pid_})) {
        if (!IsWindowVisible(window)) continue;
        Kind kind = Classify(window);
        if (!announced_.count(window)) {
          announced_.insert(window);
          Emit(Format("{\"event\":\"window\",\"kind\":\"%s\",\"class\":", KindName(kind)) +
               JsonWide(ClassOf(window)) + ",\"title\":" + JsonWide(StoredText(window)) + "}");
        }
        if (kind == Kind::FolderDialog && !handled_.count(window)) AnswerFolderDialog(window);
        if (kind == Kind::Strip) SampleStrip(window);
        if (kind == Kind::MessageBox && !handled_.count(window)) AnswerMessageBox(window);
      }
      NoteStripClosed();
      // A process snapshot is slow next to the window reads: take one now and
      // then, so the short-lived strip is sampled often.
      if (GetTickCount64() >= nextSnapshot) {
        NoteDescendants();
        nextSnapshot = GetTickCount64() + 100;
      }
      if (WaitForSingleObject(process_, kPollMs) == WAIT_OBJECT_0) {
        NoteStripClosed();
        return true;
      }
      if (deadline_.Passed()) return false;
    }
  }

  void AnswerFolderDialog(HWND dialog) {
    handled_.insert(dialog);
    HWND tree = GetDlgItem(dialog, kTreeId);
    // The dialog shows itself before it fills its tree.
    Deadline filled = deadline_.Within(15);
    while (!filled.Passed() && SendWithDeadline(tree, TVM_GETCOUNT, 0, 0, 1000) == 0) Sleep(20);
    std::string event = "{\"event\":\"folder_dialog\",\"caption\":" + JsonWide(StoredText(dialog)) +
                        ",\"title_text\":" + JsonWide(SentText(GetDlgItem(dialog, kTitleTextId))) +
                        Format(",\"tree_items\":%ld", static_cast<long>(SendWithDeadline(
                                                          tree, TVM_GETCOUNT, 0, 0, 1000)));
    if (options_.choose.empty()) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      Emit(event + ",\"action\":\"cancel\"}");
    } else {
      Choose(dialog, tree, event);
    }
    Deadline gone = deadline_.Within(15);
    while (IsWindow(dialog) && IsWindowVisible(dialog) && !gone.Passed()) Sleep(kPollMs);
    Emit(Format("{\"event\":\"folder_dialog_closed\",\"closed\":%s}",
                IsWindow(dialog) && IsWindowVisible(dialog) ? "false" : "true"));
  }

  void Choose(HWND dialog, HWND tree, const std::string& event) {
    int length = WideCharToMultiByte(CP_ACP, 0, options_.choose.c_str(), -1, nullptr, 0,
                                     nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, options_.choose.c_str(), -1, narrow.data(), length, nullptr,
                        nullptr);
    RemoteBlock path(process_, narrow.size());
    path.Write(0, narrow.data(), narrow.size());
    std::vector<std::wstring> chain;
    int attempts = 0;
    bool matched = false;
    // The tree may still be filling in: try again a few times before giving up.
    Deadline tries = deadline_.Within(10);
    while (attempts < 5 && !matched && !tries.Passed()) {
      ++attempts;
      SendWithDeadline(dialog, BFFM_SETSELECTIONA, TRUE, path.At(0), tries.RemainingMs());
      chain = SelectionChain(process_, tree);
      matched = SelectionMatches(chain, options_.choose);
      if (!matched) Sleep(300);
    }
    // Confirming a selection that is not the wanted folder would scan some
    // other tree (the desktop, a whole drive): cancel instead, so the case
    // fails on its folder rather than on what that tree happens to hold.
    PostMessageW(dialog, WM_COMMAND, matched ? IDOK : IDCANCEL, 0);
    Emit(event + ",\"action\":\"choose\",\"folder\":" + JsonWide(options_.choose) +
         Format(",\"attempts\":%d,\"matched\":%s,\"selection\":", attempts,
                matched ? "true" : "false") +
         JsonWideList(chain) + "}");
  }

  // Geometry and styles of the strip, read without sending it anything.
  void SampleStrip(HWND strip) {
    RECT window{}, client{};
    GetWindowRect(strip, &window);
    GetClientRect(strip, &client);
    std::string sample =
        "\"rect\":" + JsonRect(window) + ",\"client\":" + JsonRect(client) +
        Format(",\"style\":%lu,\"exstyle\":%lu,\"owner\":%lu", GetWindowLongW(strip, GWL_STYLE),
               GetWindowLongW(strip, GWL_EXSTYLE),
               static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(strip, GW_OWNER)))) +
        ",\"text\":" + JsonWide(StoredText(strip)) + ",\"children\":[";
    bool first = true;
    for (HWND child : ChildrenOf(strip)) {
      RECT r{};
      GetWindowRect(child, &r);
      MapWindowPoints(nullptr, strip, reinterpret_cast<POINT*>(&r), 2);
      if (!first) sample += ",";
      sample += "{\"id\":" + Format("%d", GetDlgCtrlID(child)) +
                ",\"class\":" + JsonWide(ClassOf(child)) + ",\"rect\":" + JsonRect(r) +
                Format(",\"style\":%lu,\"exstyle\":%lu,\"visible\":%s",
                       GetWindowLongW(child, GWL_STYLE), GetWindowLongW(child, GWL_EXSTYLE),
                       IsWindowVisible(child) ? "true" : "false") +
                ",\"text\":" + JsonWide(StoredText(child)) + "}";
      first = false;
    }
    sample += "]";
    // What the bars show on the screen, a few pixels in from their left end.
    HDC screen = GetDC(nullptr);
    COLORREF fileBar = GetPixel(screen, window.left + 3, window.top + 10);
    COLORREF overallBar = GetPixel(screen, window.left + 3, window.top + 31);
    ReleaseDC(nullptr, screen);
    // The scan may have closed the strip while it was being read.
    if (!IsWindowVisible(strip)) return;
    ++stripSamples_;
    if (!firstStripTick_) firstStripTick_ = GetTickCount64();
    ++fileBarColours_[fileBar];
    ++overallBarColours_[overallBar];
    if (sample != lastStripSample_) {
      Emit(Format("{\"event\":\"strip\",\"sample\":%d,\"strip_id\":%lu,", stripSamples_,
                  static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(strip))) +
           sample + "}");
      lastStripSample_ = sample;
    }
    lastStrip_ = strip;
  }

  static std::string JsonColours(const std::map<COLORREF, int>& colours) {
    std::string out = "{";
    for (auto& [colour, count] : colours) {
      if (out.size() > 1) out += ",";
      out += Format("\"%06lx\":%d", static_cast<unsigned long>(colour), count);
    }
    return out + "}";
  }

  // Once, when the strip has gone: how long it was seen and which colours
  // its bars showed (COLORREF 0x00BBGGRR, with how many samples each).
  void NoteStripClosed() {
    if (!lastStrip_ || stripClosed_ || (IsWindow(lastStrip_) && IsWindowVisible(lastStrip_)))
      return;
    stripClosed_ = true;
    Emit(Format("{\"event\":\"strip_closed\",\"samples\":%d,\"seen_ms\":%llu,", stripSamples_,
                GetTickCount64() - firstStripTick_) +
         "\"file_bar_colours\":" + JsonColours(fileBarColours_) +
         ",\"overall_bar_colours\":" + JsonColours(overallBarColours_) + "}");
  }

  void AnswerMessageBox(HWND box) {
    handled_.insert(box);
    HWND text = GetDlgItem(box, kBoxTextId);
    NoteDescendants();
    std::vector<std::wstring> startedBefore;
    for (auto& [pid, image] : children_) startedBefore.push_back(image);
    bool stripAlive = lastStrip_ && IsWindow(lastStrip_) && IsWindowVisible(lastStrip_);
    std::string event =
        "{\"event\":\"message_box\",\"title\":" + JsonWide(StoredText(box)) +
        ",\"text\":" + JsonWide(SentText(text)) +
        Format(",\"owner\":%lu,\"strip_visible\":%s,\"running_before_dismiss\":",
               static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER))),
               stripAlive ? "true" : "false") +
        JsonWideList(startedBefore) + ",\"buttons\":[";
    bool first = true;
    for (HWND child : ChildrenOf(box)) {
      if (ClassOf(child) != L"Button") continue;
      if (!first) event += ",";
      event += "{\"id\":" + Format("%d", GetDlgCtrlID(child)) +
               ",\"text\":" + JsonWide(StoredText(child)) + "}";
      first = false;
    }
    Emit(event + "]}");
    // The OK button's id is IDOK; a box with one button may also use IDCANCEL.
    HWND button = GetDlgItem(box, IDOK);
    if (!button) button = GetDlgItem(box, IDCANCEL);
    if (button) SendWithDeadline(button, BM_CLICK, 0, 0, 2000);
    Deadline gone = deadline_.Within(5);
    while (IsWindow(box) && !gone.Passed()) {
      Sleep(50);
      if (IsWindow(box)) PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    Emit(Format("{\"event\":\"message_box_dismissed\",\"closed\":%s}",
                IsWindow(box) ? "false" : "true"));
    boxDismissed_ = true;
  }

  // Processes the exe started. Only those that appear after a message box
  // was dismissed can come from the open request: in a fresh prefix Wine also
  // starts its desktop process (explorer.exe) from the first program that
  // opens a window.
  void NoteDescendants() {
    for (auto& [pid, image] : DescendantsOf(pid_)) {
      if (!children_.emplace(pid, image).second) continue;
      if (boxDismissed_) opened_.insert(pid);
      Emit(Format("{\"event\":\"process_started\",\"pid\":%lu,\"after_box\":%s,\"image\":",
                  pid, boxDismissed_ ? "true" : "false") +
           JsonWide(image) + "}");
    }
  }

  // After the exe ends: what its open request started, and the title of the
  // program's window once it has loaded the file. Then closes it.
  void WatchOpenedProgram() {
    // A program that never started leaves nothing to wait for beyond a grace
    // period; one that did gets the whole open wait to show its file.
    Deadline grace(opened_.empty() ? 2.0 : options_.openWait);
    Deadline full(options_.openWait);
    std::map<HWND, std::wstring> titles;
    for (;;) {
      NoteDescendants();
      std::set<DWORD> watched = opened_;
      bool settled = !opened_.empty();
      for (HWND window : TopLevelWindowsOf(watched)) {
        if (!IsWindowVisible(window)) continue;
        std::wstring title = StoredText(window);
        if (titles[window] != title) {
          titles[window] = title;
          Emit(Format("{\"event\":\"opened_window\",\"pid\":%lu,\"kind\":\"%s\",\"class\":",
                      ProcessOf(window), KindName(Classify(window))) +
               JsonWide(ClassOf(window)) + ",\"title\":" + JsonWide(title) + "}");
        }
      }
      // Done once every started program shows a window whose title is no
      // longer the placeholder shown before the file is loaded.
      for (DWORD pid : opened_) {
        bool shown = false;
        for (auto& [window, title] : titles)
          if (ProcessOf(window) == pid && title.find(L"Untitled") == std::wstring::npos &&
              !title.empty())
            shown = true;
        if (!shown && StillRunning(pid)) settled = false;
      }
      if (settled || (opened_.empty() && grace.Passed()) || full.Passed()) break;
      Sleep(20);
    }
    for (DWORD pid : opened_) CloseProgram(pid);
  }

  static bool StillRunning(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
  }

  void CloseProgram(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (!process) return;
    for (HWND window : TopLevelWindowsOf({pid})) PostMessageW(window, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process, 1);
    Emit(Format("{\"event\":\"opened_program_closed\",\"pid\":%lu,\"by\":\"%s\"}", pid,
                ended ? "wm_close" : "terminate"));
    CloseHandle(process);
  }

  int Hung() {
    std::string windows = "[";
    bool first = true;
    for (HWND window : TopLevelWindowsOf({pid_})) {
      if (!first) windows += ",";
      windows += Format("{\"kind\":\"%s\",\"visible\":%s,\"title\":",
                        KindName(Classify(window)), IsWindowVisible(window) ? "true" : "false") +
                 JsonWide(StoredText(window)) + "}";
      first = false;
    }
    Emit("{\"event\":\"hung\",\"windows\":" + windows + "]}");
    // The caller takes its screenshot now and then creates the flag file.
    if (!options_.hangFlag.empty()) {
      Deadline screenshot(20);
      while (GetFileAttributesW(options_.hangFlag.c_str()) == INVALID_FILE_ATTRIBUTES &&
             !screenshot.Passed())
        Sleep(50);
    }
    NoteDescendants();
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    for (DWORD pid : opened_) Kill(pid);
    Emit("{\"event\":\"killed\"}");
    CloseHandle(process_);
    return 2;
  }

  RunOptions options_;
  Deadline deadline_;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  std::set<HWND> announced_;
  std::set<HWND> handled_;
  std::map<DWORD, std::wstring> children_;  // pid -> image name
  std::set<DWORD> opened_;  // started after a box was dismissed
  bool boxDismissed_ = false;
  HWND lastStrip_ = nullptr;
  std::string lastStripSample_;
  int stripSamples_ = 0;
  ULONGLONG firstStripTick_ = 0;
  bool stripClosed_ = false;
  std::map<COLORREF, int> fileBarColours_;
  std::map<COLORREF, int> overallBarColours_;
};

// ---------------------------------------------------------------- attrib, list

int SetAttributes(const std::vector<std::wstring>& args) {
  if (args.empty()) return 1;
  DWORD attributes = GetFileAttributesW(args[0].c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 1;
  attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"+r") attributes |= FILE_ATTRIBUTE_READONLY;
    if (args[i] == L"+h") attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (args[i] == L"+s") attributes |= FILE_ATTRIBUTE_SYSTEM;
  }
  BOOL ok = SetFileAttributesW(args[0].c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
  Emit(Format("{\"event\":\"attrib\",\"ok\":%s,\"attributes\":%lu}", ok ? "true" : "false",
              GetFileAttributesW(args[0].c_str())));
  return ok ? 0 : 1;
}

// The \\?\ form of an absolute path, in which every listed name is taken
// literally (a trailing dot or blank, a device name), at any length.
std::wstring Verbatim(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0 &&
      path.compare(0, 4, L"\\\\.\\") != 0)
    return L"\\\\?\\UNC" + path.substr(1);
  return path;
}

std::vector<std::pair<DWORD, std::wstring>> Listing(const std::wstring& folder) {
  std::vector<std::pair<DWORD, std::wstring>> entries;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileExW(Verbatim(folder + L"*").c_str(), FindExInfoBasic, &data,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do entries.emplace_back(data.dwFileAttributes, data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

std::string JsonListing(const std::vector<std::pair<DWORD, std::wstring>>& entries) {
  std::string out = "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) out += ",";
    out += Format("[%lu,", entries[i].first) + JsonWide(entries[i].second) + "]";
  }
  return out + "]";
}

struct FolderIdentity {
  DWORD volume, high, low;
  bool operator==(const FolderIdentity&) const = default;
};

// The folder's identity; nothing when it cannot be opened or asked.
bool IdentityOf(const std::wstring& folder, FolderIdentity& identity) {
  HANDLE handle = CreateFileW(Verbatim(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
  CloseHandle(handle);
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
  return known;
}

// Prints the folder's listing; descends into every listed folder that is not
// already on the chain of folders above it (a link back up).
void ListTree(const std::wstring& folder, std::vector<FolderIdentity>& chain) {
  FolderIdentity identity{};
  const bool known = IdentityOf(folder, identity);
  if (known) {
    for (const FolderIdentity& above : chain)
      if (above == identity) return;
  }
  auto entries = Listing(folder);
  Emit("{\"event\":\"listing\",\"folder\":" + JsonWide(folder) + ",\"entries\":" +
       JsonListing(entries) + "}");
  if (known) chain.push_back(identity);
  for (auto& [attributes, name] : entries)
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
      ListTree(folder + name + L"\\", chain);
  if (known) chain.pop_back();
}

int List(const std::vector<std::wstring>& args) {
  if (args.empty()) return 1;
  std::wstring folder = args[0];
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  Emit(Format("{\"event\":\"code_pages\",\"acp\":%u,\"oemcp\":%u}", GetACP(), GetOEMCP()));
  std::vector<FolderIdentity> chain;
  ListTree(folder, chain);
  return 0;
}

int Usage() {
  Emit("{\"event\":\"usage\",\"text\":\"driver run|attrib|list ...\"}");
  return 1;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return Usage();
  std::wstring command = argv[1];
  std::vector<std::wstring> args(argv + 2, argv + argc);
  LocalFree(argv);

  if (command == L"attrib") return SetAttributes(args);
  if (command == L"list") return List(args);
  if (command != L"run") return Usage();

  RunOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& key = args[i];
    bool hasValue = i + 1 < args.size();
    if (key == L"--cancel") continue;
    if (!hasValue) return Usage();
    const std::wstring& value = args[++i];
    if (key == L"--exe") options.exe = value;
    else if (key == L"--cwd") options.cwd = value;
    else if (key == L"--args") options.args = value;
    else if (key == L"--choose") options.choose = value;
    else if (key == L"--timeout") options.timeout = _wtof(value.c_str());
    else if (key == L"--open-wait") options.openWait = _wtof(value.c_str());
    else if (key == L"--hang-flag") options.hangFlag = value;
    else return Usage();
  }
  if (options.exe.empty()) return Usage();
  return Run(options).Execute();
}
