// The processes Escaner.exe starts, as the driver sees them appear. Only
// those that appear after a message box was dismissed can come from the
// shell's open request: in a fresh prefix Wine also starts its desktop
// process (explorer.exe) from the first program that opens a window.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace escaner_test {

class StartedProcesses {
 public:
  explicit StartedProcesses(DWORD root) : root_(root) {}

  // Takes a snapshot and reports each process not seen before
  // ("process_started").
  void Note();
  // From now on, what starts is the open request's.
  void BoxDismissed() { boxDismissed_ = true; }

  // Image names of every process seen so far.
  std::vector<std::wstring> Images() const;
  // Those seen after a box was dismissed.
  const std::set<DWORD>& Opened() const { return opened_; }

 private:
  DWORD root_;
  std::map<DWORD, std::wstring> seen_;  // pid -> image name
  std::set<DWORD> opened_;
  bool boxDismissed_ = false;
};

}  // namespace escaner_test
