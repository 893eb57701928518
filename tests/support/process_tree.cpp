#include "support/process_tree.h"

#include <tlhelp32.h>

#include <set>
#include <utility>

namespace escaner_test {

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
    for (const auto& [pid, process] : processes)
      if (family.count(process.first) && family.insert(pid).second) {
        found[pid] = process.second;
        grew = true;
      }
  }
  return found;
}

bool IsRunning(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return false;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace escaner_test
