#include "e2e/handlers/message_box_handler.h"

#include "support/dialog_ids.h"
#include "support/json_event.h"
#include "support/remote_window.h"

namespace escaner_test {

using escaner_test::ClassOf;
using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonBool;
using escaner_test::JsonWide;
using escaner_test::StoredText;

void MessageBoxHandler::Meet(HWND box) {
  if (!answered_.insert(box).second) return;
  started_.Note();
  std::string event =
      "{\"event\":\"message_box\",\"title\":" + JsonWide(StoredText(box)) + ",\"text\":" +
      JsonWide(escaner_test::SentText(GetDlgItem(box, escaner_test::kMessageTextId))) +
      Format(",\"owner\":%lu,\"strip_visible\":",
             static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER)))) +
      JsonBool(strip_.Showing()) +
      ",\"running_before_dismiss\":" + escaner_test::JsonWideList(started_.Images()) +
      ",\"buttons\":[";
  bool first = true;
  for (HWND child : escaner_test::ChildrenOf(box)) {
    if (ClassOf(child) != L"Button") continue;
    if (!first) event += ",";
    event += Format("{\"id\":%d", GetDlgCtrlID(child)) +
             ",\"text\":" + JsonWide(StoredText(child)) + "}";
    first = false;
  }
  Emit(event + "]}");
  // The OK button's id is IDOK; a box with one button may also use IDCANCEL.
  HWND button = GetDlgItem(box, IDOK);
  if (!button) button = GetDlgItem(box, IDCANCEL);
  if (button) escaner_test::SendWithDeadline(button, BM_CLICK, 0, 0, 2000);
  escaner_test::PollUntil(
      [&] {
        if (!IsWindow(box)) return true;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return false;
      },
      deadline_.Within(5), 50);
  Emit("{\"event\":\"message_box_dismissed\",\"closed\":" + JsonBool(!IsWindow(box)) + "}");
  started_.BoxDismissed();
}

}  // namespace escaner_test
