// The floor of the whole-scan benchmark: the least work any correct scan must
// do, with no window, listing folders the way Escaner.exe lists them. Two
// passes over the tree; in each, every folder is opened once by the \\?\ form
// of its path (CreateFileW with FILE_LIST_DIRECTORY), its identity read
// (GetFileInformationByHandle: a scan that cannot tell a link back up from a
// new folder does not end) and checked against the folders above it, and
// both of its listings read from that one handle (GetFileInformationByHandleEx,
// FileIdBothDirectoryRestartInfo then FileIdBothDirectoryInfo, 64 KiB a
// call): its files from the first, its subfolders from the second, which is
// read whole and the folder closed before any subfolder is entered. In the
// second pass every file is opened by its \\?\ path (CreateFileW, read
// access, all sharing), its first 64 KiB read, and closed. A file holding a
// byte outside the keyboard set usually shows it in its first bytes, so no
// correct scan can do less than this.
//
//   floor FOLDER        walks FOLDER (UTF-16 command line; a trailing
//                       backslash optional)
//   floor --whole FILE  reads all of FILE in 64 KiB reads: the least work for
//                       a file made wholly of keyboard characters
//
// Prints one JSON line: files, bytes read, elapsed milliseconds (from the
// first listing to the last close), the process's peak working set.
#include <windows.h>
// after windows.h, which it needs
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

struct Totals {
  long files = 0;
  unsigned long long bytesRead = 0;
};

struct Identity {
  bool known;  // an identity that could not be read matches nothing
  DWORD volume;
  DWORD high;
  DWORD low;
};

std::vector<char> readBuffer(kReadSize);
std::unique_ptr<std::uint64_t[]> listingBuffer(new std::uint64_t[kListingSize / 8]);
std::vector<Identity> chain;  // of the folders being walked, from the top down
// Each depth's subfolder names, kept from folder to folder as the product
// keeps them, so neither allocates per folder once grown.
std::vector<std::vector<std::wstring>> subfoldersAt;

// The \\?\ form of an absolute path, as the product opens it.
std::wstring Verbatim(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0 &&
      path.compare(0, 4, L"\\\\.\\") != 0)
    return L"\\\\?\\UNC" + path.substr(1);
  return path;
}

HANDLE OpenForReading(const std::wstring& verbatimPath) {
  return CreateFileW(verbatimPath.c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void ReadHead(const std::wstring& verbatimPath, Totals& totals) {
  HANDLE file = OpenForReading(verbatimPath);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD got = 0;
  if (ReadFile(file, readBuffer.data(), kReadSize, &got, nullptr)) totals.bytesRead += got;
  CloseHandle(file);
}

// Calls `onEntry(attributes, name)` for each entry of one listing.
template <typename OnEntry>
void ListOnce(HANDLE folder, OnEntry onEntry) {
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, kind, listingBuffer.get(), kListingSize)) {
    kind = FileIdBothDirectoryInfo;
    const char* at = reinterpret_cast<const char*>(listingBuffer.get());
    for (;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      onEntry(record->FileAttributes,
              std::wstring_view(record->FileName, record->FileNameLength / sizeof(WCHAR)));
      if (record->NextEntryOffset == 0) break;
      at += record->NextEntryOffset;
    }
  }
}

// One folder (its \\?\ path, ending with a backslash): its files, then its
// subfolders, each walked to its end before the next.
void Walk(std::wstring& folder, bool read, Totals& totals) {
  HANDLE handle =
      CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION information = {};
  const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
  if (known) {
    for (const Identity& above : chain) {
      if (above.known && above.volume == information.dwVolumeSerialNumber &&
          above.high == information.nFileIndexHigh && above.low == information.nFileIndexLow) {
        CloseHandle(handle);
        return;
      }
    }
  }
  const size_t length = folder.size();
  ListOnce(handle, [&](DWORD attributes, std::wstring_view name) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;
    ++totals.files;
    if (!read || (attributes & kWouldRecall)) return;
    folder += name;
    ReadHead(folder, totals);
    folder.resize(length);
  });
  const size_t depth = chain.size();
  if (subfoldersAt.size() == depth) subfoldersAt.emplace_back();
  size_t count = 0;
  ListOnce(handle, [&](DWORD attributes, std::wstring_view name) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..") return;
    std::vector<std::wstring>& names = subfoldersAt[depth];
    if (count == names.size()) names.emplace_back();
    names[count++] = name;
  });
  CloseHandle(handle);
  chain.push_back({known, information.dwVolumeSerialNumber, information.nFileIndexHigh,
                   information.nFileIndexLow});
  for (size_t i = 0; i < count; ++i) {
    folder += subfoldersAt[depth][i];
    folder += L'\\';
    Walk(folder, read, totals);
    folder.resize(length);
  }
  chain.pop_back();
}

void ReadWhole(const std::wstring& verbatimPath, Totals& totals) {
  HANDLE file = OpenForReading(verbatimPath);
  if (file == INVALID_HANDLE_VALUE) return;
  ++totals.files;
  DWORD got = 0;
  while (ReadFile(file, readBuffer.data(), kReadSize, &got, nullptr) && got > 0)
    totals.bytesRead += got;
  CloseHandle(file);
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

// A wide entry point (built with -municode): the shell's command-line parser
// would load shell32 and its dependencies, several MiB of working set that
// Escaner.exe's own walk does not need.
int wmain(int argc, wchar_t** argv) {
  const bool whole = argc == 3 && std::wstring_view(argv[1]) == L"--whole";
  if (argc != 2 && !whole) {
    std::fprintf(stderr, "usage: floor FOLDER | floor --whole FILE\n");
    return 1;
  }
  std::wstring target = argv[argc - 1];
  Totals counted, scanned;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (whole) {
    ReadWhole(Verbatim(target), scanned);
  } else {
    if (target.back() != L'\\') target += L'\\';
    target = Verbatim(target);
    Walk(target, false, counted);
    Walk(target, true, scanned);
  }
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf(
      "{\"files\":%ld,\"counted\":%ld,\"bytes_read\":%llu,\"ms\":%.3f,\"peak_working_set\":%lu}\n",
      scanned.files, counted.files, scanned.bytesRead, Milliseconds(start, end),
      static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return 0;
}
