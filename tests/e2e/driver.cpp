// Plays the user's part against Escaner.exe from another process, under the
// same Wine prefix, and reports what it saw as JSON lines on stdout.
//
//   driver run --exe PATH [--cwd DIR] [--args TEXT] (--choose FOLDER | --cancel)
//              [--timeout SECONDS] [--open-wait SECONDS] [--hang-flag FILE]
//              [--probe-strip MILLISECONDS]
//   driver attrib PATH [+r] [+h] [+s]
//   driver list FOLDER
//   driver hold PATH UNTIL
//
// `run` starts the exe, answers its folder dialog, samples the progress strip
// while the scan runs, reads and dismisses every message box, records what
// the shell's open request started and closes it, and reports the exit code
// (e2e/handlers/driven_run.h, one handler per window it meets). With
// --probe-strip it also sends the strip WM_NULL that often, each with a
// deadline of 100 ms, and reports how many went unanswered.
//
// `hold` opens the file PATH sharing nothing, as a program that keeps a file
// to itself does, says so, and keeps it open until the file UNTIL exists (or
// ten minutes have passed).
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

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "e2e/handlers/driven_run.h"
#include "support/deadline.h"
#include "support/arguments.h"
#include "support/json_event.h"

namespace {

using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonHex;
using escaner_test::JsonWide;

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

std::wstring Verbatim(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0 &&
      path.compare(0, 4, L"\\\\.\\") != 0)
    return L"\\\\?\\UNC" + path.substr(1);
  return path;
}

struct Listed {
  DWORD attributes;
  DWORD reparseTag;  // meaningful only with FILE_ATTRIBUTE_REPARSE_POINT
  std::wstring name;
};

std::vector<Listed> Listing(const std::wstring& folder) {
  std::vector<Listed> entries;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileExW(Verbatim(folder + L"*").c_str(), FindExInfoBasic, &data,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do entries.push_back({data.dwFileAttributes, data.dwReserved0, data.cFileName});
  while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

std::string JsonListing(const std::vector<Listed>& entries) {
  std::string out = "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) out += ",";
    out += Format("[%lu,", entries[i].attributes) + JsonWide(entries[i].name) + "]";
  }
  return out + "]";
}

struct FolderIdentity {
  DWORD volume, high, low;
  bool operator==(const FolderIdentity&) const = default;
};

// The folder's identity; nothing when it cannot be opened or asked.
bool IdentityOf(const std::wstring& folder, FolderIdentity& identity) {
  HANDLE handle = CreateFileW(Verbatim(folder).c_str(),
                              FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
  CloseHandle(handle);
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow};
  return known;
}

// Whether the exe enters a listed folder: directory links (a junction, a
// symbolic link, a Unix link as Wine lists it, tag 0) are not followed.
bool IsFollowed(const Listed& entry) {
  if (!(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  return entry.reparseTag != IO_REPARSE_TAG_MOUNT_POINT &&
         entry.reparseTag != IO_REPARSE_TAG_SYMLINK && entry.reparseTag != 0;
}

// Prints the folder's listing; descends into every listed folder that is
// entered and not already on the chain of folders above it (a link back up).
void ListTree(const std::wstring& folder, std::vector<FolderIdentity>& chain) {
  FolderIdentity identity{};
  const bool known = IdentityOf(folder, identity);
  if (known) {
    for (const FolderIdentity& above : chain)
      if (above == identity) return;
  }
  auto entries = Listing(folder);
  Emit("{\"event\":\"listing\",\"folder\":" + JsonWide(folder) +
       ",\"entries\":" + JsonListing(entries) + "}");
  if (known) chain.push_back(identity);
  for (const Listed& entry : entries)
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && entry.name != L"." &&
        entry.name != L".." && IsFollowed(entry))
      ListTree(folder + entry.name + L"\\", chain);
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

// ---------------------------------------------------------------- hold

int Hold(const std::vector<std::wstring>& args) {
  if (args.size() != 2) return 1;
  const HANDLE file =
      CreateFileW(args[0].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Emit(Format("{\"event\":\"held\",\"ok\":%s,\"error\":%lu}",
              file != INVALID_HANDLE_VALUE ? "true" : "false",
              file != INVALID_HANDLE_VALUE ? 0ul : GetLastError()));
  if (file == INVALID_HANDLE_VALUE) return 1;
  const escaner_test::Deadline deadline(600);
  while (GetFileAttributesW(args[1].c_str()) == INVALID_FILE_ATTRIBUTES && !deadline.Passed())
    Sleep(50);
  CloseHandle(file);
  return 0;
}

int Usage() {
  Emit("{\"event\":\"usage\",\"text\":\"driver run|attrib|list|hold ...\"}");
  return 1;
}

}  // namespace

int main() {
  const std::vector<std::wstring> all = escaner_test::CommandLineArguments();
  if (all.empty()) return Usage();
  const std::wstring& command = all[0];
  const std::vector<std::wstring> args(all.begin() + 1, all.end());

  if (command == L"attrib") return SetAttributes(args);
  if (command == L"list") return List(args);
  if (command == L"hold") return Hold(args);
  if (command != L"run") return Usage();

  escaner_test::Options given({L"--exe", L"--cwd", L"--args", L"--choose", L"--timeout",
                               L"--open-wait", L"--hang-flag", L"--probe-strip"},
                              {L"--cancel"});
  if (!given.Parse(args) || !given.Has(L"--exe")) return Usage();
  escaner_test::RunOptions options;
  options.exe = given.Text(L"--exe");
  options.cwd = given.Text(L"--cwd");
  options.args = given.Text(L"--args");
  options.choose = given.Text(L"--choose");
  options.timeout = given.Number(L"--timeout", options.timeout);
  options.openWait = given.Number(L"--open-wait", options.openWait);
  options.hangFlag = given.Text(L"--hang-flag");
  options.probeStripMs = given.Number(L"--probe-strip", 0);
  return escaner_test::DriveRun(options);
}
