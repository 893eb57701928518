// The literal scan, the whole-scan benchmark's baseline: the scan done the
// plainest way, step by step, with nothing held back or batched:
//  - each file is read whole into memory with one ReadFile, after opening it
//    for reading and writing (OPEN_ALWAYS), then for reading alone;
//  - every byte examined costs three window operations on a real progress
//    bar: PBM_SETPOS, PBM_SETBARCOLOR, RedrawWindow(RDW_INVALIDATE |
//    RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
//  - each file starts with a repaint of the whole strip and a show without
//    activation, and moves the overall bar with its own three operations;
//  - each flagged path is appended to the report by opening, writing and
//    closing it.
// The one liberty: each new byte is tested alone against the keyboard set
// instead of recounting the whole text read so far, which decides the same
// and keeps the cost that of the window and the file operations.
//
//   literal FOLDER --report PATH [--budget SECONDS]
//
// With a budget the scan stops once it has run that long (checked between
// files and every 1024 bytes within one), so a very large keyboard-only file
// gives a rate to scale by. Prints one JSON line.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kFileBar = 1001;
constexpr int kOverallBar = 1002;
constexpr COLORREF kGold = 0x0000D7FF, kOrange = 0x0000A5FF, kRed = 0x000000FF;
constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;
constexpr UINT kQuiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

bool inKeyboardSet[256];
HWND strip = nullptr;

struct Run {
  std::int32_t filesScanned = 0, filesInfected = 0, filesDone = 0;
  unsigned long long bytesWalked = 0, bytesRead = 0, windowOps = 0;
  double budgetMs = 0;
  LARGE_INTEGER start{};
  bool stopped = false;
  std::wstring report;
} run;

void FillKeyboardSet() {
  for (int b = 0x20; b < 0x7F; ++b) inKeyboardSet[b] = b != 0x3C;
  for (const int b : {0xA1, 0xA8, 0xAA, 0xB4, 0xB7, 0xBA, 0xBF, 0xC1, 0xC7, 0xC9, 0xCD, 0xD1,
                      0xD3, 0xDA, 0xDC, 0xE1, 0xE7, 0xE9, 0xED, 0xF1, 0xF3, 0xFA, 0xFC})
    inKeyboardSet[b] = true;
}

double ElapsedMs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - run.start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

bool OverBudget() {
  if (run.budgetMs > 0 && ElapsedMs() > run.budgetMs) run.stopped = true;
  return run.stopped;
}

// ---------------------------------------------------------------- window operations

void SetBarPosition(int bar, std::int32_t position) {
  SendMessageW(GetDlgItem(strip, bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
  ++run.windowOps;
}

void SetBarColor(int bar, COLORREF color) {
  SendMessageW(GetDlgItem(strip, bar), PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color));
  ++run.windowOps;
}

void RepaintNow(HWND window) {
  RedrawWindow(window, nullptr, nullptr, kRepaintNow);
  ++run.windowOps;
}

void ShowNoActivate() {
  if (!IsWindow(strip)) return;
  ShowWindow(strip, SW_SHOWNA);
  ++run.windowOps;
  RepaintNow(strip);
}

void ShowStrip() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"LiteralStrip";
  RegisterClassW(&windowClass);
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  strip = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"LiteralStrip", L"Dialog1",
                          WS_POPUP | WS_CLIPSIBLINGS, (desktop.right - 201) / 2, 2, 201, 41,
                          nullptr, nullptr, windowClass.hInstance, nullptr);
  const int ids[] = {kFileBar, kOverallBar};
  for (int i = 0; i < 2; ++i)
    CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, 21 * i, 200, 20,
                    strip, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids[i])),
                    windowClass.hInstance, nullptr);
  SendMessageW(GetDlgItem(strip, kFileBar), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(GetDlgItem(strip, kFileBar), PBM_SETPOS, 0, 0);
  ShowWindow(strip, SW_SHOW);
  RepaintNow(strip);
}

// ---------------------------------------------------------------- files

std::wstring Wide(const std::string& narrow) {
  const int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, narrow.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, narrow.c_str(), -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  if (wide.size() > 255) wide.resize(255);
  return wide;
}

template <typename Call>
auto Quietly(Call call) {
  const UINT previous = SetErrorMode(kQuiet);
  auto result = call();
  SetErrorMode(previous);
  return result;
}

void LogInfected(const std::string& path) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE file = Quietly([&] {
    return CreateFileW(run.report.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  });
  if (file == INVALID_HANDLE_VALUE) return;
  Quietly([&] { return GetFileType(file); });
  Quietly([&] { return SetFilePointer(file, 0, nullptr, FILE_END); });
  DWORD written = 0;
  Quietly([&] {
    return WriteFile(file, path.data(), static_cast<DWORD>(path.size()), &written, nullptr);
  });
  Quietly([&] { return WriteFile(file, "\r\n", 2, &written, nullptr); });
  Quietly([&] { return CloseHandle(file); });
}

// The content buffer, kept from one file to the next.
char* content = nullptr;

std::int32_t TestFile(const std::string& path) {
  RepaintNow(strip);
  ShowNoActivate();
  std::int64_t highest = -1;
  delete[] content;
  content = nullptr;
  const std::wstring wide = Wide(path);
  if (!wide.empty() && wide.find_first_of(L"*?") == std::wstring::npos) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    auto open = [&](DWORD access) {
      return Quietly([&] {
        return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      });
    };
    HANDLE file = open(GENERIC_READ | GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) file = open(GENERIC_READ);
    if (file != INVALID_HANDLE_VALUE) {
      Quietly([&] { return GetFileType(file); });
      Quietly([&] { return SetFilePointer(file, 0, nullptr, FILE_BEGIN); });
      DWORD high = 0;
      const DWORD low = Quietly([&] { return GetFileSize(file, &high); });
      const std::uint64_t length = (std::uint64_t{high} << 32) | low;
      if (length > 0 && length - 1 <= 0x7FFFFFFF) {
        content = new (std::nothrow) char[length]();
        if (content != nullptr) {
          highest = static_cast<std::int64_t>(length) - 1;
          DWORD got = 0;
          Quietly(
              [&] { return ReadFile(file, content, static_cast<DWORD>(length), &got, nullptr); });
          run.bytesRead += got;
        }
      }
      Quietly([&] { return CloseHandle(file); });
    }
  }
  if (highest < 1) return 0;
  std::string text;
  bool allInSet = true;
  for (std::int64_t i = 0; i <= highest; ++i) {
    SetBarPosition(kFileBar, static_cast<std::int32_t>(100 - (100 * i) / highest));
    SetBarColor(kFileBar, kOrange);
    RepaintNow(GetDlgItem(strip, kFileBar));
    const auto byte = static_cast<unsigned char>(content[i]);
    text += static_cast<char>(byte);
    ++run.bytesWalked;
    if (!inKeyboardSet[byte]) {
      SetBarPosition(kFileBar, run.filesScanned ? 100 * run.filesInfected / run.filesScanned : 0);
      SetBarColor(kFileBar, kRed);
      RepaintNow(GetDlgItem(strip, kFileBar));
      allInSet = false;
      break;
    }
    if ((i & 1023) == 1023 && OverBudget()) return 0;
  }
  return allInSet && text.find_first_of("\\/") != std::string::npos ? 1 : 0;
}

// ---------------------------------------------------------------- the walk

template <typename FileStep>
void Walk(const std::string& folder, FileStep step) {
  WIN32_FIND_DATAA found;
  HANDLE listing = FindFirstFileA((folder + "*.*").c_str(), &found);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !run.stopped)
        step(folder + found.cFileName);
    } while (FindNextFileA(listing, &found));
    FindClose(listing);
  }
  listing = FindFirstFileA((folder + "*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
      Walk(folder + found.cFileName + "\\", step);
  } while (FindNextFileA(listing, &found));
  FindClose(listing);
}

void ScanFile(const std::string& path) {
  ++run.filesDone;
  SetBarPosition(kOverallBar, 100 * run.filesDone / run.filesScanned);
  SetBarColor(kFileBar, kGold);
  RepaintNow(GetDlgItem(strip, kOverallBar));
  if (TestFile(path) != 0) {
    ++run.filesInfected;
    LogInfected(path);
  }
  OverBudget();
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--report") == 0 && i + 1 < argc)
      run.report = Wide(argv[++i]);
    else if (std::strcmp(argv[i], "--budget") == 0 && i + 1 < argc)
      run.budgetMs = 1000.0 * std::atof(argv[++i]);
    else
      folder = argv[i];
  }
  if (folder.empty() || run.report.empty()) {
    std::fprintf(stderr, "usage: literal FOLDER --report PATH [--budget SECONDS]\n");
    return 1;
  }
  if (folder.back() != '\\') folder += '\\';
  FillKeyboardSet();
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  ShowStrip();
  QueryPerformanceCounter(&run.start);
  Walk(folder, [](const std::string&) { ++run.filesScanned; });
  Walk(folder, ScanFile);
  const double ms = ElapsedMs();
  DestroyWindow(strip);

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf(
      "{\"files\":%ld,\"files_done\":%ld,\"flagged\":%ld,\"bytes_read\":%llu,\"bytes_walked\":%llu,"
      "\"window_ops\":%llu,\"ms\":%.1f,\"complete\":%s,\"peak_working_set\":%lu}\n",
      static_cast<long>(run.filesScanned), static_cast<long>(run.filesDone),
      static_cast<long>(run.filesInfected), run.bytesRead, run.bytesWalked, run.windowOps, ms,
      run.stopped ? "false" : "true", static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return 0;
}
