#include "e2e/handlers/opened_program_handler.h"

#include <map>
#include <set>
#include <string>

#include "support/deadline.h"
#include "support/json_event.h"
#include "support/process_tree.h"
#include "support/program_closing.h"
#include "support/remote_window.h"
#include "support/window_kind.h"

namespace escaner_test {

using escaner_test::Deadline;
using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonWide;

void OpenedProgramHandler::WatchAndClose() {
  // A program that never started leaves nothing to wait for beyond a grace
  // period; one that did gets the whole open wait to show its file.
  const Deadline grace(started_.Opened().empty() ? 2.0 : openWaitSeconds_);
  const Deadline full(openWaitSeconds_);
  std::map<HWND, std::wstring> titles;
  for (;;) {
    started_.Note();
    const std::set<DWORD>& opened = started_.Opened();
    bool settled = !opened.empty();
    for (HWND window : escaner_test::TopLevelWindowsOf(opened)) {
      if (!IsWindowVisible(window)) continue;
      const std::wstring title = escaner_test::StoredText(window);
      if (titles[window] == title) continue;
      titles[window] = title;
      Emit(Format("{\"event\":\"opened_window\",\"pid\":%lu,\"kind\":\"%s\",\"class\":",
                  escaner_test::ProcessOf(window), KindName(escaner_test::Classify(window))) +
           JsonWide(escaner_test::ClassOf(window)) + ",\"title\":" + JsonWide(title) + "}");
    }
    // Done once every started program shows a window whose title is no
    // longer the placeholder shown before the file is loaded.
    for (DWORD pid : opened) {
      bool shown = false;
      for (const auto& [window, title] : titles)
        if (escaner_test::ProcessOf(window) == pid && !title.empty() &&
            title.find(L"Untitled") == std::wstring::npos)
          shown = true;
      if (!shown && escaner_test::IsRunning(pid)) settled = false;
    }
    if (settled || (opened.empty() && grace.Passed()) || full.Passed()) break;
    Sleep(20);
  }
  for (DWORD pid : started_.Opened()) {
    const escaner_test::ClosedBy by = escaner_test::CloseProgram(pid, Deadline(5));
    if (by == escaner_test::ClosedBy::NotOpened) continue;
    Emit(Format("{\"event\":\"opened_program_closed\",\"pid\":%lu,\"by\":\"%s\"}", pid,
                by == escaner_test::ClosedBy::WmClose ? "wm_close" : "terminate"));
  }
}

}  // namespace escaner_test
