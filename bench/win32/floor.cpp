// The floors of the whole-scan benchmark: two complete scans (a counting pass,
// then a scanning pass that decides every file) with no window, against which
// Escaner.exe is timed, and the cheaper of them with the exe's other per-file
// steps added one at a time, so each step's cost shows on its own.
//
//   floor [--walk cheapest|narrow] [--with STEP[,STEP...]] [--report PATH] FOLDER
//
// --walk cheapest (the default): the least work a correct scan can do. Each
//   folder is opened once a pass by its \\?\ path (CreateFileW, backup
//   semantics) and both listings read from that handle (FileIdBothDirectory-
//   RestartInfo, then FileIdBothDirectoryInfo, 64 KiB a call): files from the
//   first, subfolders from the second, read whole and the folder closed before
//   any subfolder is entered. Identities come from the listing: the chosen
//   folder's by its handle once a pass, each subfolder's from its record's
//   FileId with the parent's volume serial; a subfolder that is one of the
//   folders above it (a link back up) is not entered. In the scanning pass
//   each file the listing shows at least two and at most 2^31 bytes long is
//   opened by its \\?\ UTF-16 name (read access, all sharing), read in 64 KiB
//   chunks up to its first byte outside the keyboard set (a byte table), and
//   closed.
// --walk narrow: the plain design: two FindFirstFileA searches a folder, the
//   folder followed by "*.*" for its files and by "*" for its subfolders (that
//   search held open while each subfolder is walked), no identities; each file
//   opened by its ANSI path, read in 64 KiB chunks up to its first byte outside
//   the set, closed.
// --with adds steps the exe makes, to the scanning pass of either walk:
//   errormode       each file call between SetErrorMode(quiet) and the
//                   previous mode put back, two calls around each
//   getfiletype     GetFileType on each opened file
//   getfilesize     GetFileSize on each opened file
//   setfilepointer  SetFilePointer to byte 0 on each opened file
//   report-append   each flagged path appended to the report by opening it
//                   (OPEN_ALWAYS, no sharing), GetFileType, SetFilePointer to
//                   its end, two writes (the path, CR LF), closing it
//   report-kept     the report opened once; one write a flagged path
//   bars            the five bar operations a file (three by the walk, two by
//                   the test), each one reading the tick count, as a paced
//                   strip does between frames
//   frames          a top-most strip with two progress bars, painted by the
//                   first bar operation once 33 ms have passed since the
//                   last frame: both bars' position and colour, a whole-window
//                   RedrawWindow, a PeekMessage for sent messages
//   unpaced         every bar operation sent to the strip's bar at once (the
//                   position, the colour, a repaint), as with no pacing
//
// Prints one JSON line: files scanned and counted, files flagged, bytes read,
// elapsed milliseconds (from the first listing to the last close), the time
// spent inside the added steps' own calls (timed around them with the
// performance counter, which under Wine reads the clock without a wineserver
// round trip, so a step's cost shows apart from the load of other runs), the
// process's peak working set.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr DWORD kReadSize = 64 * 1024;
constexpr DWORD kListingSize = 64 * 1024;
constexpr DWORD kWouldRecall = FILE_ATTRIBUTE_OFFLINE | 0x40000 | 0x400000;
constexpr std::uint64_t kLongestExamined = std::uint64_t{1} << 31;
constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr DWORD kFrameMilliseconds = 33;
constexpr int kFileBar = 1001;
constexpr int kOverallBar = 1002;
constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;

enum Step : unsigned {
  kErrorMode = 1u << 0,
  kGetFileType = 1u << 1,
  kGetFileSize = 1u << 2,
  kSetFilePointer = 1u << 3,
  kReportAppend = 1u << 4,
  kReportKept = 1u << 5,
  kBars = 1u << 6,
  kFrames = 1u << 7,
  kUnpaced = 1u << 8,
};

struct StepName {
  std::wstring_view name;
  Step step;
};
constexpr StepName kStepNames[] = {
    {L"errormode", kErrorMode},
    {L"getfiletype", kGetFileType},
    {L"getfilesize", kGetFileSize},
    {L"setfilepointer", kSetFilePointer},
    {L"report-append", kReportAppend},
    {L"report-kept", kReportKept},
    {L"bars", kBars},
    {L"frames", kFrames},
    {L"unpaced", kUnpaced},
};

// Byte classes: 0 outside the keyboard set, 1 inside, 3 a separator.
struct ByteClasses {
  unsigned char of[256] = {};
  ByteClasses() {
    for (int b = 0x20; b < 0x7F; ++b) of[b] = b != 0x3C;
    for (const int b : {0xA1, 0xA8, 0xAA, 0xB4, 0xB7, 0xBA, 0xBF, 0xC1, 0xC7, 0xC9, 0xCD, 0xD1,
                        0xD3, 0xDA, 0xDC, 0xE1, 0xE7, 0xE9, 0xED, 0xF1, 0xF3, 0xFA, 0xFC})
      of[b] = 1;
    of['\\'] = of['/'] = 3;
  }
};

struct Identity {
  DWORD volume;
  std::uint64_t id;
};

struct Totals {
  long files = 0;
  long flagged = 0;
  unsigned long long bytesRead = 0;
};

// The strip of the `frames` and `unpaced` steps.
struct Strip {
  HWND window = nullptr;
  HWND bars[2] = {};
  DWORD lastFrame = 0;
  int position = 0;
};

class Scanner {
 public:
  Scanner(unsigned steps, std::wstring reportPath)
      : steps_(steps),
        reportPath_(std::move(reportPath)),
        buffer_(std::make_unique<unsigned char[]>(kReadSize)),
        listing_(std::make_unique<std::uint64_t[]>(kListingSize / 8)) {}

  void Prepare() {
    DeleteFileW(reportPath_.c_str());
    if (steps_ & (kFrames | kUnpaced)) ShowStrip();
  }

  void OpenKeptReport() {
    if (steps_ & kReportKept)
      report_ = CreateFileW(reportPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  void CloseKeptReport() {
    if (report_ != INVALID_HANDLE_VALUE) CloseHandle(report_);
    report_ = INVALID_HANDLE_VALUE;
  }

  // ------------------------------------------------------------ cheapest walk

  void WalkCheapest(std::wstring& folder, bool scanning, Totals& totals) {
    const HANDLE handle = OpenFolder(folder);
    if (handle == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(handle, &information)) {
      CloseHandle(handle);
      return;
    }
    chain_.clear();
    chain_.push_back(
        {information.dwVolumeSerialNumber,
         (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow});
    WalkListed(handle, folder, scanning, totals);
  }

  // ------------------------------------------------------------ narrow walk

  void WalkNarrow(std::string& folder, bool scanning, Totals& totals) {
    const size_t length = folder.size();
    WIN32_FIND_DATAA found;
    folder += "*.*";
    HANDLE search = FindFirstFileA(folder.c_str(), &found);
    folder.resize(length);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ++totals.files;
        if (!scanning) continue;
        folder += found.cFileName;
        ScanNarrowFile(folder, totals);
        folder.resize(length);
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    folder += "*";
    search = FindFirstFileA(folder.c_str(), &found);
    folder.resize(length);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      const std::string_view name = found.cFileName;
      if (name == "." || name == "..") continue;
      folder += name;
      folder += '\\';
      WalkNarrow(folder, scanning, totals);
      folder.resize(length);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }

 private:
  // Adds the time from its making to its end to stepTicks_; nested in
  // another, it adds nothing, so no step is counted twice.
  class Timed {
   public:
    explicit Timed(Scanner& scanner) : scanner_(scanner) {
      if (scanner_.timing_++ == 0) QueryPerformanceCounter(&start_);
    }
    ~Timed() {
      if (--scanner_.timing_ != 0) return;
      LARGE_INTEGER end;
      QueryPerformanceCounter(&end);
      scanner_.stepTicks_ += end.QuadPart - start_.QuadPart;
    }
    Timed(const Timed&) = delete;
    Timed& operator=(const Timed&) = delete;

   private:
    Scanner& scanner_;
    LARGE_INTEGER start_{};
  };

  template <typename FileCall>
  auto Call(FileCall call) {
    if (!(steps_ & kErrorMode)) return call();
    UINT previous;
    {
      Timed timed(*this);
      previous = SetErrorMode(kQuietErrorMode);
    }
    struct Restore {
      Scanner& scanner;
      UINT previous;
      ~Restore() {
        Timed timed(scanner);
        SetErrorMode(previous);
      }
    } restore{*this, previous};
    return call();
  }

  static HANDLE OpenFolder(const std::wstring& folder) {
    return CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  bool Above(const Identity& identity) const {
    for (const Identity& above : chain_)
      if (above.volume == identity.volume && above.id == identity.id) return true;
    return false;
  }

  // Calls `onEntry(record)` for each entry of one listing of `handle`.
  template <typename OnEntry>
  void ListOnce(HANDLE handle, OnEntry onEntry) {
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle, kind, listing_.get(), kListingSize)) {
      kind = FileIdBothDirectoryInfo;
      const char* at = reinterpret_cast<const char*>(listing_.get());
      for (;;) {
        const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        onEntry(*record);
        if (record->NextEntryOffset == 0) break;
        at += record->NextEntryOffset;
      }
    }
  }

  static std::wstring_view NameOf(const FILE_ID_BOTH_DIR_INFO& record) {
    return {record.FileName, record.FileNameLength / sizeof(WCHAR)};
  }

  // One open folder (its \\?\ path, ending with a backslash, its identity on
  // top of chain_): its files, then its subfolders, each walked to its end
  // before the next. Closes `handle`.
  void WalkListed(HANDLE handle, std::wstring& folder, bool scanning, Totals& totals) {
    const size_t length = folder.size();
    ListOnce(handle, [&](const FILE_ID_BOTH_DIR_INFO& record) {
      if (record.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
      ++totals.files;
      const auto size = static_cast<std::uint64_t>(record.EndOfFile.QuadPart);
      if (!scanning || (record.FileAttributes & kWouldRecall) || size < 2 ||
          size > kLongestExamined)
        return;
      folder += NameOf(record);
      ScanFile(folder, totals);
      folder.resize(length);
    });
    const size_t depth = chain_.size();
    if (subfoldersAt_.size() < depth) subfoldersAt_.resize(depth);
    std::vector<Subfolder>& subfolders = subfoldersAt_[depth - 1];
    size_t count = 0;
    const DWORD volume = chain_.back().volume;
    ListOnce(handle, [&](const FILE_ID_BOTH_DIR_INFO& record) {
      const std::wstring_view name = NameOf(record);
      if (!(record.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..")
        return;
      if (count == subfolders.size()) subfolders.emplace_back();
      subfolders[count].name = name;
      subfolders[count].identity = {volume, static_cast<std::uint64_t>(record.FileId.QuadPart)};
      ++count;
    });
    CloseHandle(handle);
    for (size_t i = 0; i < count; ++i) {
      const Subfolder& subfolder = subfoldersAt_[depth - 1][i];
      if (Above(subfolder.identity)) continue;
      folder += subfolder.name;
      folder += L'\\';
      const HANDLE child = OpenFolder(folder);
      if (child != INVALID_HANDLE_VALUE) {
        chain_.push_back(subfolder.identity);
        WalkListed(child, folder, scanning, totals);
        chain_.pop_back();
      }
      folder.resize(length);
    }
  }

  void ScanFile(const std::wstring& path, Totals& totals) {
    const HANDLE file = Call([&] {
      return CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    if (file == INVALID_HANDLE_VALUE) return;
    if (Decide(file, totals)) {
      ++totals.flagged;
      // The path as a report line shows it: without the \\?\ prefix.
      const std::wstring_view shown = std::wstring_view(path).substr(4);
      ansiPath_.resize(shown.size() * 2 + 2);
      const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shown.data(),
                                            static_cast<int>(shown.size()), ansiPath_.data(),
                                            static_cast<int>(ansiPath_.size()), nullptr, nullptr);
      Report(std::string_view(ansiPath_.data(), static_cast<size_t>(bytes > 0 ? bytes : 0)));
    }
  }

  void ScanNarrowFile(const std::string& path, Totals& totals) {
    const HANDLE file = Call([&] {
      return CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    if (file == INVALID_HANDLE_VALUE) return;
    if (Decide(file, totals)) {
      ++totals.flagged;
      Report(path);
    }
  }

  // The scanning pass's per-file work on an open file; closes it. True when
  // the file is flagged.
  bool Decide(HANDLE file, Totals& totals) {
    BarOperations(3);
    if (steps_ & kGetFileType) {
      DWORD type;
      {
        Timed timed(*this);
        type = Call([&] { return GetFileType(file); });
      }
      if (type != FILE_TYPE_DISK) {
        Call([&] { return CloseHandle(file); });
        return false;
      }
    }
    if (steps_ & kGetFileSize) {
      Timed timed(*this);
      DWORD high = 0;
      Call([&] { return GetFileSize(file, &high); });
    }
    if (steps_ & kSetFilePointer) {
      Timed timed(*this);
      Call([&] { return SetFilePointer(file, 0, nullptr, FILE_BEGIN); });
    }
    unsigned char seen = 3;  // the classes of every byte read so far, and-ed...
    unsigned char any = 0;   // ...and or-ed
    unsigned long long length = 0;
    for (;;) {
      DWORD got = 0;
      if (!Call([&] { return ReadFile(file, buffer_.get(), kReadSize, &got, nullptr); })) break;
      totals.bytesRead += got;
      length += got;
      for (DWORD i = 0; i < got; ++i) {
        const unsigned char byteClass = kClasses.of[buffer_[i]];
        seen &= byteClass;
        any |= byteClass;
        if (byteClass == 0) break;
      }
      if (seen == 0 || got < kReadSize) break;
    }
    Call([&] { return CloseHandle(file); });
    BarOperations(2);
    return seen != 0 && length >= 2 && (any & 2) != 0;
  }

  void Report(std::string_view line) {
    if (!(steps_ & (kReportKept | kReportAppend))) return;
    Timed timed(*this);
    if (steps_ & kReportKept) {
      if (report_ == INVALID_HANDLE_VALUE) return;
      line_.assign(line);
      line_ += "\r\n";
      DWORD written = 0;
      WriteFile(report_, line_.data(), static_cast<DWORD>(line_.size()), &written, nullptr);
    }
    if (steps_ & kReportAppend) {
      const HANDLE report = Call([&] {
        return CreateFileW(reportPath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      });
      if (report == INVALID_HANDLE_VALUE) return;
      Call([&] { return GetFileType(report); });
      LONG high = 0;
      Call([&] { return SetFilePointer(report, 0, &high, FILE_END); });
      DWORD written = 0;
      Call([&] {
        return WriteFile(report, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      });
      Call([&] { return WriteFile(report, "\r\n", 2, &written, nullptr); });
      Call([&] { return CloseHandle(report); });
    }
  }

  void BarOperations(int count) {
    if (!(steps_ & (kBars | kFrames | kUnpaced))) return;
    Timed timed(*this);
    for (int i = 0; i < count; ++i) {
      strip_.position = (strip_.position + 1) % 101;
      if (steps_ & kUnpaced) {
        const HWND bar = strip_.bars[i % 2];
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(strip_.position), 0);
        SendMessageW(bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(RGB(255, 165, 0)));
        RedrawWindow(bar, nullptr, nullptr, kRepaintNow);
        continue;
      }
      const DWORD now = GetTickCount();
      if (!(steps_ & kFrames) || now - strip_.lastFrame < kFrameMilliseconds) continue;
      for (const HWND bar : strip_.bars) {
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(strip_.position), 0);
        SendMessageW(bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(RGB(255, 165, 0)));
      }
      RedrawWindow(strip_.window, nullptr, nullptr, kRepaintNow);
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      strip_.lastFrame = GetTickCount();
    }
  }

  void ShowStrip() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"FloorStrip";
    RegisterClassW(&windowClass);
    strip_.window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"FloorStrip", L"",
                                    WS_POPUP | WS_CLIPSIBLINGS, 300, 2, 201, 41, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    const int ids[] = {kFileBar, kOverallBar};
    for (int i = 0; i < 2; ++i) {
      strip_.bars[i] = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                                       0, 21 * i, 200, 20, strip_.window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids[i])),
                                       windowClass.hInstance, nullptr);
      SendMessageW(strip_.bars[i], PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    }
    ShowWindow(strip_.window, SW_SHOWNA);
    RedrawWindow(strip_.window, nullptr, nullptr, kRepaintNow);
  }

  struct Subfolder {
    std::wstring name;
    Identity identity;
  };

  static inline const ByteClasses kClasses;
  const unsigned steps_;
  const std::wstring reportPath_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::unique_ptr<std::uint64_t[]> listing_;
  std::vector<Identity> chain_;  // of the folders being walked, from the top down
  // Each depth's subfolders, kept from folder to folder so that neither
  // allocates per folder once grown.
  std::vector<std::vector<Subfolder>> subfoldersAt_;
  std::string ansiPath_, line_;
  HANDLE report_ = INVALID_HANDLE_VALUE;
  Strip strip_;
  int timing_ = 0;
  long long stepTicks_ = 0;

 public:
  long long StepTicks() const { return stepTicks_; }
};

// The \\?\ form of an absolute path, as the product opens it.
std::wstring Verbatim(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0 &&
      path.compare(0, 4, L"\\\\.\\") != 0)
    return L"\\\\?\\UNC" + path.substr(1);
  return path;
}

std::string Narrow(const std::wstring& text) {
  std::string bytes(text.size() * 2 + 1, '\0');
  const int size =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                          bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(static_cast<size_t>(size > 0 ? size : 0));
  return bytes;
}

bool ParseSteps(std::wstring_view list, unsigned& steps) {
  while (!list.empty()) {
    const size_t comma = list.find(L',');
    const std::wstring_view name = list.substr(0, comma);
    bool known = false;
    for (const StepName& step : kStepNames) {
      if (step.name != name) continue;
      steps |= step.step;
      known = true;
    }
    if (!known) return false;
    list = comma == std::wstring_view::npos ? std::wstring_view() : list.substr(comma + 1);
  }
  return true;
}

double Milliseconds(long long ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

int Usage() {
  std::fprintf(stderr,
               "usage: floor [--walk cheapest|narrow] [--with STEP[,STEP...]] [--report PATH] "
               "FOLDER\n");
  return 1;
}

}  // namespace

// A wide entry point (built with -municode): the shell's command-line parser
// would load shell32 and its dependencies, several MiB of working set that
// Escaner.exe's own walk does not need.
int wmain(int argc, wchar_t** argv) {
  bool narrow = false;
  unsigned steps = 0;
  std::wstring reportPath = L"floor-report.txt", target;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--walk" && hasValue) {
      const std::wstring_view walk = argv[++i];
      if (walk != L"cheapest" && walk != L"narrow") return Usage();
      narrow = walk == L"narrow";
    } else if (arg == L"--with" && hasValue) {
      if (!ParseSteps(argv[++i], steps)) return Usage();
    } else if (arg == L"--report" && hasValue) {
      reportPath = argv[++i];
    } else if (target.empty() && !arg.starts_with(L"--")) {
      target = arg;
    } else {
      return Usage();
    }
  }
  if (target.empty()) return Usage();
  if (target.back() != L'\\') target += L'\\';

  Scanner scanner(steps, reportPath);
  scanner.Prepare();
  Totals counted, scanned;
  std::wstring wide = Verbatim(target);
  std::string ansi = Narrow(target);
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  scanner.OpenKeptReport();
  for (const bool scanning : {false, true}) {
    Totals& totals = scanning ? scanned : counted;
    if (narrow)
      scanner.WalkNarrow(ansi, scanning, totals);
    else
      scanner.WalkCheapest(wide, scanning, totals);
  }
  scanner.CloseKeptReport();
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf(
      "{\"walk\":\"%s\",\"steps\":%u,\"files\":%ld,\"counted\":%ld,\"flagged\":%ld,"
      "\"bytes_read\":%llu,\"ms\":%.3f,\"step_ms\":%.3f,\"peak_working_set\":%lu}\n",
      narrow ? "narrow" : "cheapest", steps, scanned.files, counted.files, scanned.flagged,
      scanned.bytesRead, Milliseconds(end.QuadPart - start.QuadPart),
      Milliseconds(scanner.StepTicks()), static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return 0;
}
