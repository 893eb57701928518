// The floor of the whole-scan benchmark: the least work any correct scan must
// do, with no window. Two passes over the tree, each folder listed twice
// (FindFirstFileA with "*.*" for its files, "*" for its subfolders); in the
// second pass every file is opened, its first 64 KiB read, and closed. A file
// holding a byte outside the keyboard set usually shows it in its first bytes,
// so no correct scan can do less than this.
//
//   floor FOLDER        walks FOLDER (narrow, ANSI code page, any trailing
//                       backslash optional)
//   floor --whole FILE  reads all of FILE in 64 KiB reads: the least work for
//                       a file made wholly of keyboard characters
//
// Prints one JSON line: files, bytes read, elapsed milliseconds (from the
// first listing to the last close), the process's peak working set.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kReadSize = 64 * 1024;

struct Totals {
  long files = 0;
  unsigned long long bytesRead = 0;
};

std::vector<char> buffer(kReadSize);
std::wstring widePath;

bool IsSubfolder(const WIN32_FIND_DATAA& found) {
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::strcmp(found.cFileName, ".") != 0 &&
         std::strcmp(found.cFileName, "..") != 0;
}

HANDLE OpenForReading(const std::string& path) {
  const int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.c_str(), -1, nullptr, 0);
  widePath.resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.c_str(), -1, widePath.data(), length);
  return CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void ReadHead(const std::string& path, Totals& totals) {
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD got = 0;
  if (ReadFile(file, buffer.data(), kReadSize, &got, nullptr)) totals.bytesRead += got;
  CloseHandle(file);
}

// One level: its files from the "*.*" listing, then its subfolders from "*".
void Walk(std::string& folder, bool read, Totals& totals) {
  const size_t length = folder.size();
  WIN32_FIND_DATAA found;
  HANDLE listing = FindFirstFileA((folder + "*.*").c_str(), &found);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      ++totals.files;
      if (read) {
        folder += found.cFileName;
        ReadHead(folder, totals);
        folder.resize(length);
      }
    } while (FindNextFileA(listing, &found));
    FindClose(listing);
  }
  listing = FindFirstFileA((folder + "*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (!IsSubfolder(found)) continue;
    folder += found.cFileName;
    folder += '\\';
    Walk(folder, read, totals);
    folder.resize(length);
  } while (FindNextFileA(listing, &found));
  FindClose(listing);
}

void ReadWhole(const std::string& path, Totals& totals) {
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return;
  ++totals.files;
  DWORD got = 0;
  while (ReadFile(file, buffer.data(), kReadSize, &got, nullptr) && got > 0) totals.bytesRead += got;
  CloseHandle(file);
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  const bool whole = argc == 3 && std::strcmp(argv[1], "--whole") == 0;
  if (argc != 2 && !whole) {
    std::fprintf(stderr, "usage: floor FOLDER | floor --whole FILE\n");
    return 1;
  }
  std::string target = argv[argc - 1];
  Totals counted, scanned;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (whole) {
    ReadWhole(target, scanned);
  } else {
    if (target.back() != '\\') target += '\\';
    Walk(target, false, counted);
    Walk(target, true, scanned);
  }
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("{\"files\":%ld,\"counted\":%ld,\"bytes_read\":%llu,\"ms\":%.3f,\"peak_working_set\":%lu}\n",
              scanned.files, counted.files, scanned.bytesRead, Milliseconds(start, end),
              static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return 0;
}
